// The drive model on crafted virtual disks: gap rules, kinds, letters,
// volume information, drive kinds.

#include <gtest/gtest.h>

#include <map>

#include <unistd.h>

#include "diskkit.h"
#include "src/disk/drivemanager.h"

namespace {

using namespace kxtest;

struct Row {
  int number;
  std::int64_t sizeMB;
  int kind;
  std::wstring fileSystem;
};

std::vector<Row> Rows(const gs::DriveData& d) {
  std::vector<Row> out;
  for (std::size_t i = 0; i < d.GetPartitionCount(); ++i) {
    const _Partition& p = d.GetPartition(i);
    EXPECT_EQ(p.index, static_cast<int>(i));
    out.push_back({p.number, p.sizeMB, p.kind, p.fileSystem});
  }
  return out;
}

bool operator==(const Row& a, const Row& b) {
  return a.number == b.number && a.sizeMB == b.sizeMB && a.kind == b.kind && a.fileSystem == b.fileSystem;
}
std::ostream& operator<<(std::ostream& o, const Row& r) {
  return o << "{" << r.number << ", " << r.sizeMB << " MiB, kind " << r.kind << ", " << r.fileSystem.size() << "}";
}

struct ListCase {
  const char* name;
  std::uint64_t diskMb;
  const char* script;
  std::vector<Row> expected;
};

class PartitionList : public ::testing::TestWithParam<ListCase> {
 protected:
  void TearDown() override { gs::DriveManager::FreeInstance(); }
};

const wchar_t* kUnused = L"Entry Unused";
const std::wstring kBasic = L"";  // an unformatted basic data partition: the volume read fails

TEST_P(PartitionList, GapsAndKindsFollowTheRules) {
  const ListCase& c = GetParam();
  DiskMachine m({VirtualDisk{1, c.diskMb, "usb", false, c.script}});
  m.Install();
  auto* manager = gs::DriveManager::Instance();
  ASSERT_EQ(manager->GetCount(), 1u);
  EXPECT_EQ(Rows(*manager->GetDrive(0)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Disks, PartitionList,
    ::testing::Values(
        // GPT: a 1 MiB gap is not listed, a 3 MiB gap is; the trailing gap too.
        ListCase{"Gpt1MiBAnd3MiBGaps", 64,
                 "label: gpt\\nstart=2048,size=8192,type=E3C9E316-0B5C-4DB8-817D-F92DF00215AE\\n"
                 "start=12288,size=8192,type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n"
                 "start=26624,size=8192,type=0FC63DAF-8483-4772-8E79-3D69D8477DE4\\n",
                 {{1, 4, 3, L"Microsoft reserved partition"},
                  {2, 4, 0, kBasic},
                  {0, 3, 5, kUnused},
                  {3, 4, 5, kUnused},
                  {0, 47, 5, kUnused}}},
        // GPT with one entry: the trailing gap is looked for only behind a
        // later entry, so none is listed.
        ListCase{"GptSingleEntryHasNoTrailingGap", 64,
                 "label: gpt\\nstart=2048,size=8192,type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n",
                 {{1, 4, 0, kBasic}}},
        // The EFI system partition is kind 4 under its own name; a recovery
        // partition is data like a basic one.
        ListCase{"GptEfiAndRecoveryTyping", 64,
                 "label: gpt\\nstart=2048,size=8192,type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B\\n"
                 "start=10240,size=8192,type=DE94BBA4-06D1-4D40-A16A-BFD50179D6AC\\n",
                 {{1, 4, 4, L"EFI system partition"}, {2, 4, 0, kBasic}, {0, 55, 5, kUnused}}},
        // MBR: a partition within the first cylinder (1 MiB or sector 63)
        // has no leading gap; two free cylinders at the end are listed.
        ListCase{"MbrFirstCylinderAndTrailingGap", 64, "label: dos\\nstart=2048,size=40960,type=c\\n",
                 {{1, 20, 0, L""}, {0, 43, 5, kUnused}}},
        ListCase{"MbrSector63NoTrailingGap", 16, "label: dos\\nstart=63,size=32000,type=7\\n", {{1, 15, 0, L""}}},
        // An extended partition without logical drives: kind 1, then one
        // kind 2 "Entry Unused" of its size.
        ListCase{"EmptyExtended", 64, "label: dos\\nstart=2048,size=20480,type=c\\nstart=22528,size=40960,type=5\\n",
                 {{1, 10, 0, L""}, {0, 20, 1, L""}, {0, 20, 2, kUnused}, {0, 33, 5, kUnused}}},
        ListCase{"ExtendedWithLogicals", 64,
                 "label: dos\\nstart=2048,size=8192,type=c\\nstart=12288,size=61440,type=5\\n"
                 "start=14336,size=8192,type=c\\nstart=24576,size=8192,type=7\\n",
                 {{1, 4, 0, L""}, {0, 30, 1, L""}, {2, 4, 2, L""}, {3, 4, 2, L""}, {0, 20, 5, kUnused},
                  {0, 28, 5, kUnused}}}),
    [](const auto& info) { return std::string(info.param.name); });

class DriveModel : public ::testing::Test {
 protected:
  void TearDown() override { gs::DriveManager::FreeInstance(); }
};

// A GPT whose last partition ends at the last usable sector of a disk of
// 2^63 - 1 bytes (sparse, on tmpfs): no gap is listed after it, and the
// arithmetic near the end of the signed range does not overflow.
TEST_F(DriveModel, GptOnADiskOfTheLargestSizeListsNoTrailingGap) {
  DiskMachine m({VirtualDisk{1, 1, "usb", false, ""}});
  const std::string huge = "/dev/shm/kx-huge-" + std::to_string(::getpid()) + ".img";
  const std::string script = R"(
import struct, sys, zlib, uuid
path = sys.argv[1]
size = (1 << 63) - 1
sectors = size // 512
last_usable = sectors - 34
with open(path, "wb") as f:
    f.truncate(size)
    mbr = bytearray(512)
    mbr[446:462] = bytes([0, 0, 2, 0, 0xEE, 0xFF, 0xFF, 0xFF]) + struct.pack("<II", 1, 0xFFFFFFFF)
    mbr[510:512] = b"\x55\xAA"
    f.seek(0); f.write(mbr)
    array = b""
    for first, last in ((2048, 4095), (4096, last_usable)):
        entry = bytearray(128)
        entry[0:16] = uuid.UUID("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7").bytes_le
        entry[16:32] = uuid.uuid4().bytes_le
        entry[32:48] = struct.pack("<QQ", first, last)
        array += bytes(entry)
    array += bytes(126 * 128)
    header = bytearray(struct.pack("<8sIIIIQQQQ16sQIII", b"EFI PART", 0x10000, 92, 0, 0, 1, sectors - 1, 34,
                                   last_usable, uuid.uuid4().bytes_le, 2, 128, 128, zlib.crc32(array)))
    struct.pack_into("<I", header, 16, zlib.crc32(bytes(header)))
    f.seek(512); f.write(bytes(header) + bytes(512 - len(header)))
    f.seek(1024); f.write(array)
)";
  ASSERT_EQ(Shell("python3 -c '" + script + "' " + huge), 0);
  std::filesystem::remove(m.Image(1));
  std::filesystem::create_symlink(huge, m.Image(1));
  m.Install();
  auto* manager = gs::DriveManager::Instance();
  ASSERT_EQ(manager->GetCount(), 1u);
  const std::vector<Row> rows = Rows(*manager->GetDrive(0));
  std::filesystem::remove(huge);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].number, 2);
}

// A second extended container in the MBR (sfdisk makes none; written by
// hand): the chain's logical drives are listed once, under the first.
TEST_F(DriveModel, TwoExtendedContainersListEachLogicalDriveOnce) {
  DiskMachine m({VirtualDisk{1, 64, "usb", false,
                             "label: dos\\nstart=2048,size=8192,type=c\\nstart=12288,size=61440,type=5\\n"
                             "start=14336,size=8192,type=c\\nstart=24576,size=8192,type=7\\n"}});
  // Slot 3: type 0x05 at sector 90112 (0x16000), 20480 (0x5000) sectors.
  Shell("printf '\\000\\000\\000\\000\\005\\000\\000\\000\\000\\140\\001\\000\\000\\120\\000\\000' | dd of=" +
        m.Image(1).string() + " bs=1 seek=478 conv=notrunc 2>/dev/null");
  m.Install();
  auto* manager = gs::DriveManager::Instance();
  ASSERT_EQ(manager->GetCount(), 1u);
  std::map<int, int> seen;
  int containers = 0;
  for (const Row& r : Rows(*manager->GetDrive(0))) {
    if (r.number > 0) ++seen[r.number];
    if (r.kind == 1) ++containers;
  }
  EXPECT_EQ(containers, 2);
  EXPECT_EQ(seen, (std::map<int, int>{{1, 1}, {2, 1}, {3, 1}}));
}

TEST_F(DriveModel, VolumesAreReadThroughTheLetterOrTheNtName) {
  DiskMachine m({VirtualDisk{1, 128, "usb", false,
                             "label: dos\\nstart=2048,size=65536,type=c\\nstart=67584,size=65536,type=c\\n"}},
                {VolumeSpec{'E', 1, 1}});
  m.FormatFat(1, 1, "");
  m.FormatFat(1, 2, "SECOND");
  m.Install();
  auto* d = gs::DriveManager::Instance()->GetDrive(0);
  ASSERT_EQ(d->GetPartitionCount(), 3u);
  EXPECT_EQ(d->GetPartition(0).letter, L"E:\\");
  EXPECT_EQ(d->GetPartition(0).label, L"NONAME") << "the declared volume has no label";
  EXPECT_EQ(d->GetPartition(1).letter, L"");
  EXPECT_EQ(d->GetPartition(1).fileSystem, L"FAT32");
  EXPECT_EQ(d->GetPartition(1).label, L"SECOND");
  wchar_t letter = 0;
  EXPECT_TRUE(d->GetPartitionLetter(1, letter));
  EXPECT_EQ(letter, L'E');
  EXPECT_FALSE(d->GetPartitionLetter(2, letter));
  EXPECT_EQ(d->GetPartitionStyle(), 0);
}

TEST_F(DriveModel, KindsStylesAndNumbering) {
  DiskMachine m({VirtualDisk{0, 16, "sata", false, "label: gpt\\n"}, VirtualDisk{2, 16, "usb", true, ""},
                 VirtualDisk{3, 16, "usb", false, "label: dos\\nlabel-id: 0x8badf00d\\nstart=2048,size=8192,type=c\\n"}});
  m.Install();
  auto* manager = gs::DriveManager::Instance();
  ASSERT_EQ(manager->GetCount(), 3u) << "number 1 is a gap in the numbering";
  EXPECT_EQ(manager->GetDrive(0)->GetDriveKind(), 3);
  EXPECT_EQ(manager->GetDrive(0)->GetPartitionStyle(), 1);
  EXPECT_EQ(manager->GetDrive(1)->GetPartitionStyle(), 2) << "a disk without table";
  EXPECT_EQ(manager->GetDrive(1)->GetPartitionCount(), 0u);
  EXPECT_EQ(manager->GetDrive(1)->GetDiskId(), "");
  EXPECT_EQ(manager->GetDrive(2)->GetDriveKind(), 7);
  EXPECT_EQ(manager->GetDrive(2)->GetNumber(), 3);
  EXPECT_EQ(manager->GetDrive(2)->GetDiskId(), std::to_string(static_cast<std::int32_t>(0x8badf00du)));
  EXPECT_EQ(manager->GetDrive(2)->GetDiskSize(), 16 * 1048576);
}

TEST_F(DriveModel, RemovableStickHasKindTwo) {
  DiskMachine m({VirtualDisk{1, 16, "usb", true, "label: dos\\nstart=2048,size=8192,type=c\\n"}});
  m.Install();
  EXPECT_EQ(gs::DriveManager::Instance()->GetDrive(0)->GetDriveKind(), 2);
}

}  // namespace
