#include <gtest/gtest.h>

#include "disk/mediumutils.h"
#include "disk/volumeutils.h"
#include "testmachine.h"

TEST(VolumeQueries, SpaceTypesAndFileSystems) {
  kxtest::TestMachine m({{.letter = 'E', .type = "cdrom", .label = "GSP1RMCULFRER_EN_DVD", .fileSystem = "CDFS"},
                         {.letter = 'F', .type = "removable", .bus = "usb", .fileSystem = "FAT32", .freeMb = 7000},
                         {.letter = 'G', .type = "fixed", .bus = "usb", .fileSystem = "NTFS", .freeMb = 1}});
  EXPECT_EQ(GetFreeSpaceMB(L"F:\\"), 7000.0);
  EXPECT_EQ(GetFreeSpaceMB(L"Q:\\"), 0.0);
  EXPECT_TRUE(IsCdRom(L"E:\\"));
  EXPECT_FALSE(IsCdRom(L"E:\\sources"));  // the path itself, unchanged
  EXPECT_TRUE(IsFixedOrRemovable(L"F:\\whatever"));
  EXPECT_FALSE(IsFixedOrRemovable(L"E:\\"));
  EXPECT_TRUE(IsUsbBusVolume(L"F:\\"));
  EXPECT_TRUE(IsUsbBusVolume(L"G:\\"));
  EXPECT_FALSE(IsUsbBusVolume(L"C:\\"));
  EXPECT_FALSE(IsUsbBusVolume(L"E:\\"));  // optical drives are never asked
  EXPECT_TRUE(IsNtfs(L"G:\\"));
  EXPECT_FALSE(IsNtfs(L"F:\\"));
  EXPECT_EQ(GetVolumeLabel(L"E:\\"), L"GSP1RMCULFRER_EN_DVD");
  EXPECT_EQ(GetVolumeLabel(L"Q:\\"), L"");
}

TEST(VolumeQueries, ReadinessIsFalseOnlyForNoMediumOrBadParameter) {
  kxtest::TestMachine m({{.letter = 'E', .type = "removable", .ready = false}, {.letter = 'F'}});
  EXPECT_FALSE(IsVolumeReady(L"E:\\"));
  EXPECT_FALSE(IsVolumeReady(L"F:\\not-a-root"));
  EXPECT_TRUE(IsVolumeReady(L"F:\\"));
  EXPECT_TRUE(IsVolumeReady(L"Q:\\"));  // path not found is neither 21 nor 87
}

TEST(VolumeQueries, DiskNumbersAndWholeCylinderSizes) {
  kxtest::TestMachine m({{.letter = 'F', .type = "removable", .bus = "usb", .disk = 1}}, std::nullopt,
                        {{1, 7680}});
  EXPECT_EQ(GetVolumeDiskNumber(L"F"), 1);
  EXPECT_EQ(GetVolumeDiskNumber(L"C"), -1);
  // 7680 MiB hold 979 whole cylinders of 255 x 63 x 512 bytes: 7679.5 MiB.
  EXPECT_EQ(GetPhysicalDiskSizeMB(1), 7679);
  EXPECT_EQ(GetPhysicalDiskSizeMB(5), 0);
}

TEST(VolumeLabels, AreFittedAndSet) {
  EXPECT_EQ(MakeVolumeLabel(L""), L"NONAME");
  EXPECT_EQ(MakeVolumeLabel(L"ABCDEFGHIJKLMN"), L"ABCDEFGHI~1");
  EXPECT_EQ(MakeVolumeLabel(L"ABCDEFGHIJ_EN_DVD"), L"ABCDEFGHI~1");
  EXPECT_EQ(MakeVolumeLabel(L"ABCDEFGHIJK"), L"ABCDEFGHIJK");
  kxtest::TestMachine m({{.letter = 'F', .type = "removable", .label = "OLD"}});
  SetDriveLabel(L"F:\\", L"NEW");
  EXPECT_EQ(GetVolumeLabel(L"F:\\"), L"NEW");
}

TEST(InstallationMedium, EmbeddedEditionAndArchitecture) {
  kxtest::TestMachine m({{.letter = 'E', .type = "cdrom"}, {.letter = 'F', .type = "cdrom"}});
  m.WriteFile('E', "sources/product.ini", "[SKU]\r\nType=embedded\r\n");
  m.WriteFile('E', "sources/idwbinfo.txt", "[BUILDINFO]\r\nBuildArch=amd64\r\n");
  m.WriteFile('F', "sources/idwbinfo.txt", "[BUILDINFO]\r\nBuildArch=x86\r\n");
  EXPECT_TRUE(IsEmbeddedEdition(L"E:\\"));
  EXPECT_FALSE(IsEmbeddedEdition(L"F:\\"));
  EXPECT_TRUE(IsAmd64Build(L"E:\\sources\\idwbinfo.txt"));
  EXPECT_FALSE(IsAmd64Build(L"F:\\sources\\idwbinfo.txt"));
  EXPECT_FALSE(IsAmd64Build(L"Q:\\sources\\idwbinfo.txt"));
}
