// The ISO folder never lies inside a work folder; the other way round is fine.

#include <gtest/gtest.h>

#include "disk/workfolderclash.h"
#include "testmachine.h"

namespace {

struct ClashCase {
  const char* name;
  const wchar_t* isoFolder;
  bool clashes;
};

void PrintTo(const ClashCase& c, std::ostream* os) { *os << c.name; }

class IsoFolderClash : public testing::TestWithParam<ClashCase> {};

TEST_P(IsoFolderClash, IsRefusedOnlyInsideAWorkFolder) {
  kxtest::TestMachine m({{.letter = 'E', .type = "fixed", .freeMb = 90000}});
  std::filesystem::create_directories(m.Root('E') / "iso");
  EXPECT_EQ(IsoFolderClashesWithWorkFolder(GetParam().isoFolder), GetParam().clashes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsoFolderClash,
    testing::Values(
        ClashCase{"TheWorkFolderItself", L"C:\\ProgramData\\Ovanta\\Kestrunex\\OvantaToolTmp\\", true},
        ClashCase{"InsideItInAnotherCase", L"c:\\programdata\\OVANTA\\kestrunex\\ovantatooltmp\\sub\\", true},
        ClashCase{"InsideItByDotDot", L"C:\\ProgramData\\Ovanta\\x\\..\\Kestrunex\\OvantaToolTmp\\", true},
        ClashCase{"WorkFolderInsideTheIsoFolder", L"C:\\ProgramData\\", false},
        ClashCase{"TheSystemDriveRoot", L"C:\\", false},
        ClashCase{"ADriveWorkFolder", L"E:\\OvantaToolTmp3\\", true},
        ClashCase{"ANameLikeOne", L"E:\\OvantaToolTmpX\\", false},
        ClashCase{"AnotherFolder", L"E:\\iso\\", false},
        ClashCase{"TheRootOfTheDriveThatWouldHoldIt", L"E:\\", false}),
    [](const testing::TestParamInfo<ClashCase>& info) { return std::string(info.param.name); });

}  // namespace
