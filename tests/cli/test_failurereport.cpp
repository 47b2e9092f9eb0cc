// What kestrunex-cli names after a failed run: the failing step's last trace
// line, taken from the end of the trace log.

#include <gtest/gtest.h>

#include "disk/tracelines.h"
#include "disk/tracelog.h"
#include "platform/text.h"
#include "testmachine.h"
#include "tools/cli/failurereport.h"

namespace {

struct TraceCase {
  const char* name;
  std::string log;
  std::string line;
};

void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.name; }

class LastStepLine : public testing::TestWithParam<TraceCase> {};

TEST_P(LastStepLine, IsTheReasonBeforeTheFinishLine) { EXPECT_EQ(LastStepTraceLine(GetParam().log), GetParam().line); }

INSTANTIATE_TEST_SUITE_P(
    Cases, LastStepLine,
    testing::Values(
        TraceCase{"IsoToolFailed",
                  "09:00:00.001 [UpdateResult] finish_Success\r\n09:01:00.000 ISOOperation Excute\r\n"
                  "09:01:00.100 [MakeISOFile::MakeISOThread]-Exit Code:3\r\n"
                  "09:01:00.101 [ISOOperation- RunOperate] is fail\r\n09:01:00.102 [UpdateResult] finish_Fail\r\n",
                  "09:01:00.100 [MakeISOFile::MakeISOThread]-Exit Code:3"},
        TraceCase{"ReleaseLinesAreLeftOut",
                  "09:00:00.000 [USBOperation::Excute - FAT32] file too large: D:\\big\r\n"
                  "09:00:00.001 [CUSBManager::Instance()->FormatActiveUSB] is fail\r\n"
                  "09:00:00.002 USBOperation::Release\r\n09:00:00.003 [UpdateResult] finish_Fail\r\n",
                  "09:00:00.000 [USBOperation::Excute - FAT32] file too large: D:\\big"},
        TraceCase{"TheLastFailureCounts",
                  "a\n[UpdateResult] finish_Fail\nb\n[UpdateResult] finish_Fail\n", "b"},
        TraceCase{"NoFailureNoLine", "a\n[UpdateResult] finish_Success\n", ""},
        TraceCase{"NothingBeforeIt", "[UpdateResult] finish_Fail\n", ""}),
    [](const testing::TestParamInfo<TraceCase>& info) { return std::string(info.param.name); });

// The reader against the writer: lines as the trace log writes them (time,
// blank, CRLF) and the end lines as the worker writes them.
TEST(TraceLineForm, WhatTheRunWritesIsWhatTheCommandReads) {
  for (auto [wide, narrow] : {std::pair{kRunSucceededTrace, kRunSucceededLine}, std::pair{kRunFailedTrace, kRunFailedLine},
                              std::pair{kRunCancelledTrace, kRunCancelledLine}}) {
    EXPECT_EQ(platform::AnsiFromWide(std::wstring(wide)), narrow);
    EXPECT_EQ(narrow.substr(0, kRunEndTag.size()), kRunEndTag);
  }
  kxtest::TestMachine machine;
  TraceLog(std::wstring(kRunFailedTrace));
  TraceLog(L"[MakeISOFile::MakeISOThread]-Exit Code:3");
  TraceLog(L"[ISOOperation- RunOperate] is fail");
  TraceLog(L"ISOOperation::Release");
  TraceLog(std::wstring(kRunFailedTrace));
  const std::string line =
      LastStepTraceLine(kxtest::ReadHostFile(machine.Root('C') / "ProgramData/Ovanta/Kestrunex/RAREzodav.log"));
  const std::size_t stamp = std::string_view("hh:mm:ss.mmm ").size();
  ASSERT_GT(line.size(), stamp) << line;
  EXPECT_EQ(line.substr(stamp), "[MakeISOFile::MakeISOThread]-Exit Code:3");
}

}  // namespace
