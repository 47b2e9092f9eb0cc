// The source check before anything is erased: bootmgr and both WIM files,
// each WIM with its header, read through the drive namespace.

#include <gtest/gtest.h>

#include <cstdlib>
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


// install.wim as the Windows in it says: Windows 7 and its server sibling
// pass, any other Windows is named with its version; an ESD in its place is
// refused.
struct VersionCase {
  const char* name;
  const char* imageName;
  const char* major;  // nullptr: the XML names no version
  const char* minor;
  const char* build;
  std::vector<MediumProblem> expected;
};

TEST(SourceMediumVersions, RefusesOtherWindowsByNameAndVersion) {
  const VersionCase cases[] = {
      {"Windows7", "Windows 7 ULTIMATE", "6", "1", "7601", {}},
      {"Server2008R2", "Windows Server 2008 R2 SERVERSTANDARD", "6", "1", "7600", {}},
      {"NoVersion", "Custom", nullptr, nullptr, nullptr, {}},
      {"Windows10", "Windows 10 Pro", "10", "0", "19041",
       {{L"sources\\install.wim", MediumFault::kNotWindows7, L"Windows 10 Pro (10.0.19041)"}}},
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(c.name);
    kxtest::TestMachine m({{.letter = 'E', .type = "cdrom", .label = "DVD"}});
    m.WriteFile('E', "bootmgr", "boot");
    m.WriteFile('E', "sources/boot.wim", kWim);
    m.WriteFile('E', "tree/file.txt", "x");
    const std::string wim = (m.Root('E') / "sources/install.wim").string();
    std::string command = "wimlib-imagex capture '" + (m.Root('E') / "tree").string() + "' '" + wim + "' '" +
                          c.imageName + "' --compress=none >/dev/null";
    if (c.major)
      command += " && wimlib-imagex info '" + wim + "' 1 --image-property WINDOWS/VERSION/MAJOR=" + c.major +
                 " --image-property WINDOWS/VERSION/MINOR=" + c.minor + " --image-property WINDOWS/VERSION/BUILD=" +
                 c.build + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::vector<MediumProblem> got = CheckWindows7Medium(L"E:\\");
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(got[i] == c.expected[i]) << i;
      EXPECT_EQ(got[i].detail, c.expected[i].detail);
    }
  }
  kxtest::TestMachine esd({{.letter = 'E', .type = "cdrom", .label = "DVD"}});
  esd.WriteFile('E', "bootmgr", "boot");
  esd.WriteFile('E', "sources/boot.wim", kWim);
  esd.WriteFile('E', "sources/install.esd", kWim);
  const std::vector<MediumProblem> got = CheckWindows7Medium(L"E:\\");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0] == (MediumProblem{L"sources\\install.esd", MediumFault::kInstallEsd}));
}

}  // namespace
