// Physical drives by the system's names: the device queries' buffer
// arithmetic, the drive type, NT names of partitions and letters.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "diskkit.h"
#include "platform/disks/ntnames.h"
#include "platform/disks/physicaldrive.h"
#include "platform/lasterror.h"

namespace {

using namespace kxtest;
using platform::DWORD;

const char* kThreeLogicals =
    "label: dos\\nstart=2048,size=8192,type=c\\nstart=12288,type=5\\nstart=14336,size=8192,type=c\\n"
    "start=24576,size=8192,type=7\\nstart=34816,size=8192,type=c\\n";

TEST(PhysicalDrive, LayoutBufferGrowsByFourEntriesUntilItFits) {
  DiskMachine m({VirtualDisk{1, 64, "usb", false, kThreeLogicals}});
  m.Install();
  auto drive = platform::disks::PhysicalDrive::Open(L"\\\\.\\PHYSICALDRIVE1");
  ASSERT_TRUE(drive);
  // 4 primary slots + 3 records of 4: 16 entries = 48 + 16 x 144 = 2352 bytes.
  std::vector<DWORD> tried;
  DWORD size = 624, returned = 0;
  for (;;) {
    std::vector<std::uint8_t> buf(size);
    tried.push_back(size);
    if (drive->IoControl(platform::IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, buf.data(), size, &returned)) {
      platform::DRIVE_LAYOUT_INFORMATION_EX header;
      std::memcpy(&header, buf.data(), 48);
      EXPECT_EQ(header.PartitionCount, 16u);
      break;
    }
    ASSERT_EQ(platform::GetLastError(), platform::ERROR_INSUFFICIENT_BUFFER);
    size += 576;
  }
  EXPECT_EQ(tried, (std::vector<DWORD>{624, 1200, 1776, 2352}));
  EXPECT_EQ(returned, 2352u);
}

TEST(PhysicalDrive, GeometryIsWholeCylindersOfTheLbaTranslation) {
  DiskMachine m({VirtualDisk{1, 100, "usb", false, "label: gpt\\n"}});
  m.Install();
  auto drive = platform::disks::PhysicalDrive::Open(1);
  std::uint8_t out[56] = {};
  DWORD returned = 0;
  ASSERT_FALSE(drive->IoControl(platform::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, out, 31, &returned));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_INSUFFICIENT_BUFFER);
  ASSERT_TRUE(drive->IoControl(platform::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, out, 40, &returned));
  EXPECT_EQ(returned, 40u);
  platform::DISK_GEOMETRY_EX g{};
  std::memcpy(&g, out, 40);
  EXPECT_EQ(g.DiskSize, 100 * 1048576);
  EXPECT_EQ(g.Geometry.Cylinders, 100 * 1048576 / (255 * 63 * 512));
  EXPECT_EQ(g.Geometry.TracksPerCylinder, 255u);
  EXPECT_EQ(g.Geometry.SectorsPerTrack, 63u);
  ASSERT_TRUE(drive->IoControl(platform::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &g, 56, &returned));
  EXPECT_EQ(g.Partition.PartitionStyle, platform::PARTITION_STYLE_GPT);
}

TEST(PhysicalDrive, BusRemovableFlagAndDriveTypeComeFromTheDeclaration) {
  DiskMachine m({VirtualDisk{1, 8, "usb", true, ""}, VirtualDisk{2, 8, "usb", false, ""},
                 VirtualDisk{3, 8, "sata", false, ""}});
  m.Install();
  struct Row {
    int disk;
    platform::UINT type;
    int bus;
  } rows[] = {{1, platform::DRIVE_REMOVABLE, 7}, {2, platform::DRIVE_FIXED, 7}, {3, platform::DRIVE_FIXED, 11}};
  for (const auto& r : rows) {
    std::wstring path = L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(r.disk) + L"\\";
    EXPECT_EQ(platform::disks::GetDriveType(path), r.type) << r.disk;
    auto drive = platform::disks::PhysicalDrive::Open(r.disk);
    platform::STORAGE_PROPERTY_QUERY q;
    platform::STORAGE_DEVICE_DESCRIPTOR d{};
    DWORD returned = 0;
    ASSERT_TRUE(drive->IoControl(platform::IOCTL_STORAGE_QUERY_PROPERTY, &q, 12, &d, 40, &returned));
    EXPECT_EQ(d.BusType, r.bus);
  }
  EXPECT_EQ(platform::disks::GetDriveType(L"\\\\.\\PHYSICALDRIVE9\\"), platform::DRIVE_NO_ROOT_DIR);
  EXPECT_FALSE(platform::disks::PhysicalDrive::Open(9));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_FILE_NOT_FOUND);
}

TEST(NtNames, PartitionAndItsLetterResolveToOneVolumeName) {
  DiskMachine m({VirtualDisk{1, 64, "usb", false, "label: dos\\nstart=2048,size=8192,type=c\\nstart=12288,size=8192,type=c\\n"}},
                {VolumeSpec{'E', 1, 2}});
  m.Install();
  std::wstring p1, p2, e, none;
  ASSERT_EQ(platform::disks::QuerySymbolicLink(L"\\Device\\Harddisk1\\Partition1", &p1, 1024), 0);
  ASSERT_EQ(platform::disks::QuerySymbolicLink(L"\\device\\harddisk1\\partition2", &p2, 1024), 0);
  EXPECT_NE(p1, p2);
  ASSERT_NE(platform::disks::QueryDosDevice(L"E:", &e), 0u);
  EXPECT_EQ(e, p2);
  EXPECT_NE(platform::disks::QuerySymbolicLink(L"\\Device\\Harddisk1\\Partition3", &none, 1024), 0);
  EXPECT_EQ(platform::disks::QuerySymbolicLink(L"\\Device\\Harddisk1\\Partition1", &none, 8),
            platform::disks::kStatusBufferTooSmall);
}

TEST(NtNames, UnletteredVolumeIsReadThroughItsNtName) {
  DiskMachine m({VirtualDisk{1, 128, "usb", false, "label: dos\\nstart=2048,size=98304,type=c\\nstart=100352,size=8192,type=c\\n"}});
  m.FormatFat(1, 1, "STICKLABEL");
  m.Install();
  std::wstring name, label, fs;
  ASSERT_EQ(platform::disks::QuerySymbolicLink(L"\\Device\\Harddisk1\\Partition1", &name, 1024), 0);
  auto volume = platform::disks::VolumeHandle::Open(name);
  ASSERT_TRUE(volume);
  ASSERT_TRUE(volume->GetVolumeInformation(&label, &fs));
  EXPECT_EQ(fs, L"FAT32");
  EXPECT_EQ(label, L"STICKLABEL");
  ASSERT_EQ(platform::disks::QuerySymbolicLink(L"\\Device\\Harddisk1\\Partition2", &name, 1024), 0);
  EXPECT_FALSE(platform::disks::VolumeHandle::Open(name)->GetVolumeInformation(&label, &fs))
      << "a partition without a file system is not a volume we can read";
}

}  // namespace
