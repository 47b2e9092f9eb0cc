// Our partition-table reader against sfdisk's own reading of the same images.

#include <gtest/gtest.h>

#include <regex>

#include "diskkit.h"
#include "platform/disks/physicaldrive.h"

namespace {

using namespace kxtest;

struct TableCase {
  const char* name;
  const char* script;
  platform::DWORD style;
};

class PartitionTableMatchesSfdisk : public ::testing::TestWithParam<TableCase> {};

std::string GuidText(const platform::GUID& g) {
  char t[40];
  std::snprintf(t, sizeof t, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3, g.Data4[0],
                g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return t;
}

TEST_P(PartitionTableMatchesSfdisk, DataPartitionsStartSizeAndType) {
  DiskMachine m({VirtualDisk{1, 64, "usb", false, GetParam().script}});
  m.Install();
  auto drive = platform::disks::PhysicalDrive::Open(L"\\\\.\\PhysicalDrive1");
  ASSERT_TRUE(drive);
  auto table = drive->Table();
  ASSERT_EQ(table.style, GetParam().style);

  std::string dump = ShellOutput("sfdisk -d " + m.Image(1).string());
  std::regex line(R"(: start= *(\d+), size= *(\d+), type=([0-9A-Fa-f-]+))");
  std::vector<std::tuple<std::int64_t, std::int64_t, std::string>> expected, actual;
  for (std::sregex_iterator it(dump.begin(), dump.end(), line), end; it != end; ++it) {
    std::string type = (*it)[3];
    for (auto& c : type) c = static_cast<char>(std::toupper(c));
    if (type == "5" || type == "F") continue;  // containers carry no number
    expected.emplace_back(std::stoll((*it)[1]) * 512, std::stoll((*it)[2]) * 512, type);
  }
  for (const auto& e : table.entries) {
    if (e.PartitionNumber == 0) continue;
    char hex[4];
    std::snprintf(hex, sizeof hex, "%X", e.Mbr.PartitionType);
    actual.emplace_back(e.StartingOffset, e.PartitionLength,
                        table.style == platform::PARTITION_STYLE_GPT ? GuidText(e.Gpt.PartitionType) : hex);
    EXPECT_EQ(e.PartitionNumber, actual.size()) << "numbers count the data partitions in order";
  }
  EXPECT_EQ(actual, expected) << dump;
}

INSTANTIATE_TEST_SUITE_P(
    Images, PartitionTableMatchesSfdisk,
    ::testing::Values(
        TableCase{"MbrPrimaries", "label: dos\\nstart=2048,size=20480,type=c\\nstart=24576,size=8192,type=7\\n",
                  platform::PARTITION_STYLE_MBR},
        TableCase{"MbrSector63", "label: dos\\nstart=63,size=40000,type=7,bootable\\n", platform::PARTITION_STYLE_MBR},
        TableCase{"MbrExtendedChain",
                  "label: dos\\nstart=2048,size=8192,type=c\\nstart=12288,type=5\\nstart=14336,size=8192,type=c\\n"
                  "start=24576,size=8192,type=7\\nstart=34816,size=8192,type=83\\n",
                  platform::PARTITION_STYLE_MBR},
        TableCase{"Gpt",
                  "label: gpt\\nstart=2048,size=8192,type=E3C9E316-0B5C-4DB8-817D-F92DF00215AE\\n"
                  "start=10240,size=20480,type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n"
                  "start=36864,size=8192,type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B\\n",
                  platform::PARTITION_STYLE_GPT}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PartitionTable, ExtendedChainIsReportedFourSlotsPerRecord) {
  DiskMachine m({VirtualDisk{1, 64, "usb", false,
                             "label: dos\\nstart=2048,size=8192,type=c\\nstart=12288,type=5\\n"
                             "start=14336,size=8192,type=c\\nstart=24576,size=8192,type=7\\n"}});
  m.Install();
  auto table = platform::disks::PhysicalDrive::Open(1)->Table();
  ASSERT_EQ(table.entries.size(), 12u);  // 4 primary slots + 2 records x 4
  EXPECT_EQ(table.entries[4].Mbr.PartitionType, 0x0C);
  EXPECT_EQ(table.entries[5].Mbr.PartitionType, 0x05);  // link to the next record
  EXPECT_EQ(table.entries[8].Mbr.PartitionType, 0x07);
  EXPECT_EQ(table.entries[9].Mbr.PartitionType, 0x00);
}

TEST(PartitionTable, DamagedPrimaryGptHeaderFallsBackToBackup) {
  DiskMachine m({VirtualDisk{1, 16, "usb", false,
                             "label: gpt\\nstart=2048,size=8192,type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n"}});
  Shell("printf 'XXXX' | dd of=" + m.Image(1).string() + " bs=1 seek=$((512+100)) conv=notrunc 2>/dev/null");
  m.Install();
  auto table = platform::disks::PhysicalDrive::Open(1)->Table();
  ASSERT_EQ(table.style, platform::PARTITION_STYLE_GPT);
  ASSERT_EQ(table.entries.size(), 1u);
  EXPECT_EQ(table.entries[0].StartingOffset, 2048 * 512);
}

// A GPT's entry array (here 1024 entries: 128 KiB) is read once:
// later readings of the unchanged disk read its headers only, and a changed
// header (another table) is read afresh.
TEST(PartitionTable, AGptEntryArrayIsReadOncePerTable) {
  DiskMachine m({VirtualDisk{1, 64, "usb", false,
                             "label: gpt\\ntable-length: 1024\\nstart=2048,size=16384,"
                             "type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n"}});
  m.Install();
  platform::disks::GptArrayCache cache;
  std::size_t bytesRead = 0;
  auto drive = platform::disks::PhysicalDrive::Open(1);
  const platform::disks::DiskReader read = [&](std::uint64_t o, void* b, std::size_t s) {
    bytesRead += s;
    return drive->Read(o, b, s);
  };
  auto first = platform::disks::ReadPartitionTable(read, drive->Size(), 512, &cache, "disk1");
  ASSERT_EQ(first.style, platform::PARTITION_STYLE_GPT);
  const std::size_t firstBytes = bytesRead;
  EXPECT_GE(firstBytes, 1024u * 128) << "the entry array is read the first time";
  bytesRead = 0;
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(platform::disks::ReadPartitionTable(read, drive->Size(), 512, &cache, "disk1").entries.size(), 1u);
  EXPECT_LE(bytesRead, 10u * 2 * 512) << "only the protective MBR and the header, each time";
  ASSERT_EQ(Shell("echo 'start=20480,size=16384,type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7' | sfdisk -q --append " +
                  m.Image(1).string() + " >/dev/null 2>&1"),
            0);
  EXPECT_EQ(platform::disks::ReadPartitionTable(read, drive->Size(), 512, &cache, "disk1").entries.size(), 2u);
}

TEST(PartitionTable, ZeroedDiskAndBadSignatureAreRaw) {
  DiskMachine m({VirtualDisk{1, 8, "usb", false, ""},
                 VirtualDisk{2, 8, "usb", false, "label: dos\\nstart=2048,size=4096,type=c\\n"}});
  Shell("printf '\\000\\000' | dd of=" + m.Image(2).string() + " bs=1 seek=510 conv=notrunc 2>/dev/null");
  m.Install();
  EXPECT_EQ(platform::disks::PhysicalDrive::Open(1)->Table().style, platform::PARTITION_STYLE_RAW);
  EXPECT_EQ(platform::disks::PhysicalDrive::Open(2)->Table().style, platform::PARTITION_STYLE_RAW);
}

}  // namespace
