#include <gtest/gtest.h>

#include <fstream>

#include "platform/machine/deviceio.h"
#include "platform/lasterror.h"
#include "platform/machine/machine.h"
#include "platform/machine/volumes.h"
#include "testmachine.h"

using namespace platform;

namespace {

std::string WriteProfile(const kxtest::TempDir& dir, const std::string& text) {
  std::string path = dir.str() + "/machine.ini";
  std::ofstream(path) << text;
  return path;
}

int LineOfError(const kxtest::TempDir& dir, const std::string& text) {
  try {
    Machine::FromProfile(WriteProfile(dir, text), dir.str());
  } catch (const ProfileError& e) {
    return e.line();
  }
  return -1;
}

}  // namespace

TEST(MachineProfile, DeclaresDrivesWithTypesLabelsAndSpace) {
  kxtest::TestMachine m({{.letter = 'E', .type = "cdrom", .label = "GRMCULFRER_EN_DVD", .fileSystem = "CDFS"},
                         {.letter = 'F', .type = "removable", .bus = "usb", .label = "STICK", .freeMb = 4500,
                          .totalMb = 7600, .disk = 1}},
                        std::nullopt, {{1, 7680}});
  EXPECT_EQ(GetDriveType(L"E:\\"), DRIVE_CDROM);
  EXPECT_EQ(GetDriveType(L"F:\\"), DRIVE_REMOVABLE);
  EXPECT_EQ(GetDriveType(L"C:\\"), DRIVE_FIXED);
  EXPECT_EQ(GetDriveType(L"Q:\\"), DRIVE_NO_ROOT_DIR);
  std::wstring label, fs;
  ASSERT_TRUE(GetVolumeInformation(L"E:\\", &label, &fs));
  EXPECT_EQ(label, L"GRMCULFRER_EN_DVD");
  EXPECT_EQ(fs, L"CDFS");
  std::uint64_t free = 0, total = 0;
  ASSERT_TRUE(GetDiskFreeSpaceEx(L"F:\\", &free, &total, nullptr));
  EXPECT_EQ(free, 4500ull * 1048576);
  EXPECT_EQ(total, 7600ull * 1048576);
  DWORD mask = GetLogicalDrives();
  EXPECT_EQ(mask, (1u << 2) | (1u << 4) | (1u << 5) | (1u << 25));  // C, E, F and the host root Z
}

TEST(MachineProfile, DriveWithoutMediumFailsVolumeQueriesWithNotReady) {
  kxtest::TestMachine m({{.letter = 'G', .type = "removable", .ready = false}});
  SetLastError(0);
  EXPECT_FALSE(GetVolumeInformation(L"G:\\", nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
  EXPECT_FALSE(GetVolumeInformation(L"G:\\sub", nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(GetVolumeInformation(L"K:\\", nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(MachineProfile, MalformedProfilesNameTheLine) {
  kxtest::TempDir dir;
  EXPECT_EQ(LineOfError(dir, "[drive E]\nfolder = e\ntype = floppy\n"), 3);
  EXPECT_EQ(LineOfError(dir, "[drive E]\nfolder = e\nthis is not a key\n"), 3);
  EXPECT_EQ(LineOfError(dir, "\n[drive EE]\nfolder = e\n"), 2);
  EXPECT_EQ(LineOfError(dir, "[drive E]\ntype = cdrom\n"), 1);  // no folder
  EXPECT_EQ(LineOfError(dir, "[drive E]\nfolder = e\nfree_mb = lots\n"), 3);
  EXPECT_EQ(LineOfError(dir, "[drive E]\nfolder = e\n[drive e]\nfolder = f\n"), 3);
  EXPECT_EQ(LineOfError(dir, "[printer]\n"), 1);
  EXPECT_EQ(LineOfError(dir, "key = value before any section\n"), 1);
  EXPECT_EQ(LineOfError(dir, "[disk 1]\nsize_mb = 8\nsector_size = 1024\n"), 3);
  EXPECT_EQ(LineOfError(dir, "[disk 1]\nsize_mb = 8\nsector_size = 4096\n"), -1);
  EXPECT_EQ(LineOfError(dir, "; a comment\n[drive E]\nfolder = e\ntype = cdrom\n"), -1);
}

TEST(MachineProfile, ProfileErrorMessageNamesFileAndLine) {
  kxtest::TempDir dir;
  std::string path = WriteProfile(dir, "[drive E]\nfolder = e\nbus = carrier-pigeon\n");
  try {
    Machine::FromProfile(path, dir.str());
    FAIL() << "accepted a bad bus";
  } catch (const ProfileError& e) {
    EXPECT_EQ(e.file(), path);
    EXPECT_NE(std::string(e.what()).find(path + ":3:"), std::string::npos);
  }
}

TEST(DeviceQueries, AnswerBusExtentsAndWholeCylinderGeometry) {
  kxtest::TestMachine m({{.letter = 'F', .type = "removable", .bus = "usb", .disk = 1},
                         {.letter = 'D', .type = "fixed", .bus = "sata", .disk = 0}},
                        std::nullopt, {{0, 100000}, {1, 7680}});
  auto usb = Device::Open(L"\\\\?\\F:");
  ASSERT_TRUE(usb);
  STORAGE_PROPERTY_QUERY q;
  STORAGE_DEVICE_DESCRIPTOR d{};
  DWORD got = 0;
  ASSERT_TRUE(usb->IoControl(IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, &d, sizeof d, &got));
  EXPECT_EQ(d.BusType, BusTypeUsb);
  EXPECT_EQ(got, 40u);

  VOLUME_DISK_EXTENTS ext{};
  ASSERT_TRUE(usb->IoControl(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &ext, sizeof ext, &got));
  EXPECT_EQ(ext.Extents[0].DiskNumber, 1u);

  auto disk = Device::Open(L"\\\\.\\PHYSICALDRIVE1");
  ASSERT_TRUE(disk);
  DISK_GEOMETRY g{};
  ASSERT_TRUE(disk->IoControl(IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &got));
  EXPECT_EQ(g.Cylinders, static_cast<std::int64_t>(7680ull * 1048576 / (255 * 63 * 512)));
  EXPECT_FALSE(Device::Open(L"\\\\.\\PHYSICALDRIVE7"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}
