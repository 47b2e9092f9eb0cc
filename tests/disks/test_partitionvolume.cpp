// Volumes declared on partitions whose file system is not mounted answer
// from the partition: its size from the table, its file system and label
// from the file system itself; a partition without one does not answer.

#include <gtest/gtest.h>

#include "diskkit.h"
#include "platform/disks/partitionvolume.h"
#include "platform/lasterror.h"
#include "platform/machine/volumes.h"
#include "platform/text.h"

namespace {

using namespace kxtest;

struct VolumeCase {
  const char* name;
  wchar_t letter;
  int partition;           // 0: a plain folder drive, answered by the host
  bool answers;
  const wchar_t* fileSystem;
  const wchar_t* label;
};

void PrintTo(const VolumeCase& c, std::ostream* os) { *os << c.name; }

class PartitionVolumes : public testing::TestWithParam<VolumeCase> {};

TEST_P(PartitionVolumes, AnswerFromThePartitionItself) {
  const VolumeCase& c = GetParam();
  // A 4 GiB sparse stick: 300 MiB FAT32, 100 MiB without a file system.
  DiskMachine m({VirtualDisk{1, 4096, "usb", true, "label: dos\\nstart=2048,size=614400,type=c\\nsize=204800,type=c\\n"}},
                {VolumeSpec{'E', 1, 1, "removable"}, VolumeSpec{'F', 1, 2, "removable"},
                 VolumeSpec{'G', 1, 3, "removable"}},
                "\n[drive H]\nfolder = plain\ntype = fixed\nbus = sata\nfilesystem = NTFS\n");
  std::filesystem::create_directories(m.dir().path() / "plain");
  m.FormatFat(1, 1, "STICK_LBL");
  m.Install();
  platform::disks::InstallPartitionVolumes();

  const std::wstring root{c.letter, L':', L'\\'};
  std::wstring label, fs;
  std::uint64_t free = 0, total = 0;
  const bool info = platform::GetVolumeInformation(root, &label, &fs);
  const bool space = platform::GetDiskFreeSpaceEx(root, &free, &total, nullptr);
  if (!c.answers) {
    EXPECT_FALSE(info);
    EXPECT_FALSE(space);
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_UNRECOGNIZED_VOLUME);
    return;
  }
  ASSERT_TRUE(info && space) << platform::GetLastError();
  EXPECT_EQ(fs, c.fileSystem);
  EXPECT_EQ(label, c.label);
  if (c.partition == 0) {
    // The host's file system: far more than the stick.
    EXPECT_GT(total, 0u);
    return;
  }
  std::uint64_t start = 0, size = 0;
  ASSERT_TRUE(SfdiskPartition(m.Image(1), c.partition, &start, &size));
  EXPECT_EQ(total, size) << "the partition table's size, not the disk's or the host's";
  EXPECT_EQ(free, size) << "not mounted: all of it";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PartitionVolumes,
    testing::Values(VolumeCase{"FormattedPartition", L'E', 1, true, L"FAT32", L"STICK_LBL"},
                    VolumeCase{"PartitionWithoutFileSystem", L'F', 2, false, nullptr, nullptr},
                    VolumeCase{"PartitionNotInTheTable", L'G', 3, false, nullptr, nullptr},
                    VolumeCase{"PlainFolderDrive", L'H', 0, true, L"NTFS", L""}),
    [](const testing::TestParamInfo<VolumeCase>& info) { return std::string(info.param.name); });

}  // namespace
