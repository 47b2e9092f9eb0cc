// The ISO folder and the work folder never lie inside each other.

#include <gtest/gtest.h>

#include "disk/workfolderclash.h"
#include "testmachine.h"

namespace {

struct ClashCase {
  const char* name;
  std::uint64_t systemFreeMb;  // the system drive holds the work folder when above the need
  const wchar_t* isoFolder;
  bool clashes;
};

void PrintTo(const ClashCase& c, std::ostream* os) { *os << c.name; }

class IsoFolderClash : public testing::TestWithParam<ClashCase> {};

TEST_P(IsoFolderClash, IsRefusedEitherWayRound) {
  kxtest::TestMachine m({{.letter = 'E', .type = "fixed", .freeMb = 90000}}, GetParam().systemFreeMb);
  std::filesystem::create_directories(m.Root('E') / "iso");
  EXPECT_EQ(IsoFolderClashesWithWorkFolder(GetParam().isoFolder, 1000), GetParam().clashes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsoFolderClash,
    testing::Values(
        ClashCase{"TheWorkFolderItself", 5000, L"C:\\ProgramData\\Ovanta\\Kestrunex\\OvantaToolTmp\\", true},
        ClashCase{"InsideItInAnotherCase", 5000, L"c:\\programdata\\OVANTA\\kestrunex\\ovantatooltmp\\sub\\", true},
        ClashCase{"InsideItByDotDot", 5000, L"C:\\ProgramData\\Ovanta\\x\\..\\Kestrunex\\OvantaToolTmp\\", true},
        ClashCase{"WorkFolderInsideTheIsoFolder", 5000, L"C:\\ProgramData\\", true},
        ClashCase{"ADriveWorkFolder", 5000, L"E:\\OvantaToolTmp3\\", true},
        ClashCase{"ANameLikeOne", 5000, L"E:\\OvantaToolTmpX\\", false},
        ClashCase{"AnotherFolder", 5000, L"E:\\iso\\", false},
        ClashCase{"TheRootOfTheDriveThatWouldHoldIt", 10, L"E:\\", true},
        ClashCase{"AFolderBesideIt", 10, L"E:\\iso\\", false}),
    [](const testing::TestParamInfo<ClashCase>& info) { return std::string(info.param.name); });

}  // namespace
