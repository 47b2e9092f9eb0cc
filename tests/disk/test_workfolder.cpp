#include <gtest/gtest.h>

#include <filesystem>

#include "disk/appfolders.h"
#include "testmachine.h"

namespace fs = std::filesystem;

TEST(AppDataFolder, IsCreatedUnderTheCommonFolderWithATrailingBackslash) {
  kxtest::TestMachine m;
  EXPECT_EQ(GetAppDataFolder(), "C:\\ProgramData\\Ovanta\\Kestrunex\\");
  EXPECT_TRUE(fs::is_directory(m.Root('C') / "ProgramData/Ovanta/Kestrunex"));
}

TEST(WorkFolder, SystemDriveWithMoreThanNeededIsUsedAndAStaleFolderReplaced) {
  kxtest::TestMachine m({{.letter = 'F', .type = "removable", .freeMb = 100000}}, 5000);
  m.WriteFile('C', "ProgramData/Ovanta/Kestrunex/OvantaToolTmp/stale/old.bin", "old");
  EXPECT_EQ(GetWorkFolder(4000, L"F:\\"), L"C:\\ProgramData\\Ovanta\\Kestrunex\\OvantaToolTmp\\");
  EXPECT_TRUE(fs::is_directory(m.Root('C') / "ProgramData/Ovanta/Kestrunex/OvantaToolTmp"));
  EXPECT_FALSE(fs::exists(m.Root('C') / "ProgramData/Ovanta/Kestrunex/OvantaToolTmp/stale"));
}

TEST(WorkFolder, ExactlyNeedIsNotEnough) {
  kxtest::TestMachine m({{.letter = 'E', .type = "fixed", .freeMb = 4001}}, 4000);
  EXPECT_EQ(GetWorkFolder(4000, L"F:\\"), L"E:\\OvantaToolTmp0\\");
  EXPECT_TRUE(fs::is_directory(m.Root('E') / "OvantaToolTmp0"));
}

TEST(WorkFolder, NeedDoublesOnTheReferenceDrive) {
  // Reference on the system drive: 6000 free does not cover 2 x 4000.
  kxtest::TestMachine m({{.letter = 'D', .type = "fixed", .freeMb = 8000},
                         {.letter = 'E', .type = "fixed", .freeMb = 8001}},
                        6000);
  EXPECT_EQ(GetWorkFolder(4000, L"c:\\iso"), L"D:\\OvantaToolTmp0\\");
}

TEST(WorkFolder, NeedDoublesOnAReferenceDriveOtherThanTheSystemDrive) {
  // D needs 8000 as the reference drive and has exactly that; E is next.
  kxtest::TestMachine m({{.letter = 'D', .type = "fixed", .freeMb = 8000},
                         {.letter = 'E', .type = "fixed", .freeMb = 8001}},
                        10);
  EXPECT_EQ(GetWorkFolder(4000, L"D:\\out"), L"E:\\OvantaToolTmp0\\");
}

TEST(WorkFolder, TakesTheFirstFreeCounterAndLeavesOthersAlone) {
  kxtest::TestMachine m({{.letter = 'E', .type = "fixed", .freeMb = 9000}}, 10);
  fs::create_directories(m.Root('E') / "OvantaToolTmp0/keep");
  m.WriteFile('E', "OvantaToolTmp1", "a file of that name");
  EXPECT_EQ(GetWorkFolder(4000, L"F:\\"), L"E:\\OvantaToolTmp2\\");
  EXPECT_TRUE(fs::is_directory(m.Root('E') / "OvantaToolTmp2"));
  EXPECT_TRUE(fs::exists(m.Root('E') / "OvantaToolTmp0/keep"));
}

TEST(WorkFolder, OnlyFixedAndRemovableDrivesAreConsideredAndNoRoomGivesEmpty) {
  kxtest::TestMachine m({{.letter = 'D', .type = "cdrom", .freeMb = 90000},
                         {.letter = 'E', .type = "removable", .ready = false},
                         {.letter = 'F', .type = "fixed", .freeMb = 100}},
                        10);
  EXPECT_EQ(GetWorkFolder(4000, L"F:\\"), L"");
}
