// The source check before anything is erased: bootmgr and both WIM files,
// each WIM with its header, read through the drive namespace.

#include <gtest/gtest.h>

#include <filesystem>

#include "disk/sourcemedium.h"
#include "testmachine.h"

namespace {

const std::string kWim = std::string("MSWIM\0\0\0", 8) + std::string(200, 'w');

struct MediumCase {
  const char* name;
  std::string bootmgr;     // "" = missing, "/" = a folder
  std::string bootWim;
  std::string installWim;
  std::vector<MediumProblem> expected;
};

void PrintTo(const MediumCase& c, std::ostream* os) { *os << c.name; }

bool operator==(const MediumProblem& a, const MediumProblem& b) { return a.file == b.file && a.fault == b.fault; }

class SourceMedium : public testing::TestWithParam<MediumCase> {};

TEST_P(SourceMedium, NamesEverythingMissingOrWrong) {
  const MediumCase& c = GetParam();
  kxtest::TestMachine m({{.letter = 'E', .type = "cdrom", .label = "DVD"}});
  auto put = [&](const std::string& file, const std::string& content) {
    if (content == "/") std::filesystem::create_directories(m.Root('E') / file);
    else if (!content.empty()) m.WriteFile('E', file, content);
  };
  put("BOOTMGR", c.bootmgr);  // names are matched without case, as on a disc
  put("sources/boot.wim", c.bootWim);
  put("sources/install.wim", c.installWim);
  const std::vector<MediumProblem> got = CheckWindows7Medium(L"E:\\");
  ASSERT_EQ(got.size(), c.expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(got[i] == c.expected[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceMedium,
    testing::Values(
        MediumCase{"WindowsSevenMedium", "boot", kWim, kWim, {}},
        MediumCase{"LinuxLiveDisc", "", "", "", {{L"bootmgr", MediumFault::kMissing},
                                                {L"sources\\boot.wim", MediumFault::kMissing},
                                                {L"sources\\install.wim", MediumFault::kMissing}}},
        MediumCase{"WimWithoutHeader", "boot", kWim, "not a wim at all", {{L"sources\\install.wim", MediumFault::kNotAWim}}},
        MediumCase{"WimShorterThanItsMagic", "boot", "MSWIM", kWim, {{L"sources\\boot.wim", MediumFault::kNotAWim}}},
        MediumCase{"BootmgrIsAFolder", "/", kWim, kWim, {{L"bootmgr", MediumFault::kNotAFile}}}),
    [](const testing::TestParamInfo<MediumCase>& info) { return std::string(info.param.name); });

}  // namespace
