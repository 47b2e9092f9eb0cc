// What kestrunex-cli names after a failed run: the failing step's last trace
// line, taken from the end of the trace log.

#include <gtest/gtest.h>

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

}  // namespace
