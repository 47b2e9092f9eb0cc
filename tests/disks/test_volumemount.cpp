#include "platform/disks/volumemount.h"

#include <gtest/gtest.h>

namespace {

using platform::disks::KernelDriverFor;

// What the kernel lists decides the driver: its own where it has one (no
// 2 GiB file limit, no daemon), the user-space one where it does not.
TEST(VolumeMount, TheKernelsOwnDriverIsChosenOnlyWhereTheKernelListsIt) {
  const std::string desktop = "nodev\tsysfs\nnodev\ttmpfs\n\text4\n\tvfat\n\tntfs3\nnodev\tfuse\n";
  const std::string server = "nodev\tsysfs\n\text4\n\tfuseblk\nnodev\tfuse\n\tmsdos\n";
  struct Case {
    const std::string& table;
    const wchar_t* fileSystem;
    const char* driver;
  } cases[] = {
      {desktop, L"FAT32", "vfat"}, {desktop, L"NTFS", "ntfs3"}, {desktop, L"exFAT", ""},
      {server, L"FAT32", ""},      {server, L"NTFS", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(KernelDriverFor(c.fileSystem, c.table), c.driver);
}

}  // namespace
