// The USB disk manager on virtual disks with our disk tool: which disk and
// partition a letter names, the size decision, the two-question recovery and
// the letter found again.

#include <gtest/gtest.h>

#include "config/checkboxes.h"
#include "disk/usb/cusbmanager.h"
#include "platform/disks/volumemount.h"
#include "usbkit.h"

namespace {

using kxtest::ShellOutput;
using kxtest::VirtualDisk;
using kxtest::VolumeSpec;

class USBManager : public ::testing::Test {
 protected:
  void TearDown() override { CUSBManager::FreeInstance(); }
  static bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
};

const char* kTwoPartitions = "label: dos\\nstart=2048,size=131072,type=c\\nstart=133120,type=c\\n";

TEST_F(USBManager, SecondPartitionOfAFixedUsbDiskIsFormattedActivatedAndFoundAgain) {
  kxusb::UsbMachine m({VirtualDisk{1, 300, "usb", false, kTwoPartitions}}, {VolumeSpec{'E', 1, 2, "fixed"}});
  kxusb::ScriptedBoxes boxes;
  ASSERT_TRUE(CUSBManager::Instance()->FormatActiveUSB(L"E:\\")) << m.Log();
  EXPECT_EQ(CUSBManager::Instance()->m_USBLetter, L"E");
  EXPECT_TRUE(boxes.shown.empty());
  std::string log = m.Log();
  EXPECT_TRUE(Contains(log, "[CUSBManager::FormatUSB - DiskIndex, PartIndex] 1 , 2\r\n")) << log;
  EXPECT_TRUE(Contains(log, "[CUSBManager::ReGetUSBLtr] - m_USBLetter: E\r\n")) << log;
  std::string dump = ShellOutput("sfdisk -d " + m.disks().Image(1).string());
  EXPECT_TRUE(Contains(dump, "start=      133120, size=      481280, type=c, bootable")) << dump;
  EXPECT_FALSE(Contains(dump, "start=        2048, size=      131072, type=c, bootable")) << dump;
}

TEST_F(USBManager, AVolumeOfASataDiskIsRefusedAndUntouched) {
  kxusb::UsbMachine m({VirtualDisk{1, 100, "sata", false, "label: dos\\nstart=2048,type=c\\n"}},
                      {VolumeSpec{'E', 1, 1, "fixed"}});
  std::string before = kxtest::ReadHostFile(m.disks().Image(1));
  kxusb::ScriptedBoxes boxes;
  EXPECT_FALSE(CUSBManager::Instance()->FormatActiveUSB(L"E:\\"));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, L"This is not a USB disk/flash.");
  EXPECT_EQ(boxes.shown[0].caption, L"Error");
  EXPECT_TRUE(Contains(m.Log(), "[CUSBManager::FormatUSB - CheckCond] is fail"));
  EXPECT_TRUE(kxtest::ReadHostFile(m.disks().Image(1)) == before);
}

// A disk that cannot be written (an immutable image): the format fails and
// the recovery asks twice; any No leaves the disk as it was.
struct Answers {
  const char* name;
  std::deque<int> answers;
  std::size_t boxes;
  const char* lastLine;
};

class Recovery : public USBManager, public ::testing::WithParamInterface<Answers> {};

TEST_P(Recovery, DeclinedOrFailedLeavesTheDiskByteForByte) {
  kxusb::UsbMachine m({VirtualDisk{1, 100, "usb", true, "label: dos\\nstart=2048,type=c\\n"}},
                      {VolumeSpec{'E', 1, 1, "removable"}});
  std::string image = m.disks().Image(1).string();
  std::string before = kxtest::ReadHostFile(image);
  ASSERT_EQ(kxtest::Shell("chattr +i " + image), 0);
  kxusb::ScriptedBoxes boxes(GetParam().answers);
  bool ok = CUSBManager::Instance()->FormatActiveUSB(L"E:\\");
  kxtest::Shell("chattr -i " + image);
  EXPECT_FALSE(ok);
  EXPECT_EQ(boxes.shown.size(), GetParam().boxes);
  std::string log = m.Log();
  EXPECT_TRUE(Contains(log, "[CUSBManager::FormatUSB - DiskpartFormat] is fail")) << log;
  EXPECT_TRUE(Contains(log, GetParam().lastLine)) << log;
  EXPECT_TRUE(kxtest::ReadHostFile(image) == before);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Recovery,
    ::testing::Values(Answers{"NoToTheFirst", {platform::IDNO}, 1, "DiskpartFormat] is fail"},
                      Answers{"YesThenNo", {platform::IDYES, platform::IDNO}, 2, "DiskpartFormat] is fail"},
                      Answers{"YesYesButStillFailing",
                              {platform::IDYES, platform::IDYES, platform::IDOK},
                              3,
                              "[CUSBManager::FormatUSB - Cleanandformat USB] is fail"}),
    [](const auto& info) { return std::string(info.param.name); });

// A stick partitioned at sector 63 leaves no room for the boot loader:
// "active" fails, and after two Yes the disk is cleaned into one active
// FAT32 partition at 1 MiB that carries the chosen letter again.
TEST_F(USBManager, StickAtSector63IsRebuiltByTheRecoveryPath) {
  kxusb::UsbMachine m({VirtualDisk{1, 100, "usb", true, "label: dos\\nstart=63,type=c\\n"}},
                      {VolumeSpec{'E', 1, 1, "removable"}});
  kxusb::ScriptedBoxes boxes({platform::IDYES, platform::IDYES});
  ASSERT_TRUE(CUSBManager::Instance()->FormatActiveUSB(L"e:\\")) << m.Log();
  EXPECT_EQ(boxes.shown.size(), 2u);
  std::string log = m.Log();
  EXPECT_TRUE(Contains(log, "[CUSBManager::FormatUSB - DiskpartActive] is fail")) << log;
  EXPECT_TRUE(Contains(log, "[CUSBManager::ReGetUSBLtr] - m_USBLetter: E")) << log;
  std::string dump = ShellOutput("sfdisk -d " + m.disks().Image(1).string());
  EXPECT_TRUE(Contains(dump, "start=        2048, size=      202752, type=c, bootable")) << dump;
}

// The size the decision reads is the geometry's (whole cylinders of
// 8,225,280 bytes): a 40,000 MiB disk reports 39,997 MiB and stays FAT32,
// a 40,010 MiB disk reports 40,005 MiB and is formatted NTFS.
struct ThresholdCase {
  const char* name;
  std::uint64_t sizeMb;
  const char* type;
};

class NtfsThreshold : public USBManager, public ::testing::WithParamInterface<ThresholdCase> {};

TEST_P(NtfsThreshold, DecidesTheFileSystemByTheReportedSize) {
  kxusb::UsbMachine m({VirtualDisk{1, GetParam().sizeMb, "usb", true, "label: dos\\nstart=2048,type=c\\n"}},
                      {VolumeSpec{'E', 1, 1, "removable"}});
  kxusb::ScriptedBoxes boxes;
  ASSERT_TRUE(CUSBManager::Instance()->FormatActiveUSB(L"E:\\")) << m.Log();
  std::string dump = ShellOutput("sfdisk -d " + m.disks().Image(1).string());
  EXPECT_TRUE(Contains(dump, std::string("type=") + GetParam().type + ", bootable")) << dump;
}

INSTANTIATE_TEST_SUITE_P(Sizes, NtfsThreshold,
                         ::testing::Values(ThresholdCase{"JustUnder40000", 40000, "c"},
                                           ThresholdCase{"JustOver40000", 40010, "7"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A volume that shows another letter after the format would send the copy
// steps (and their clean-up after a failure) to whatever holds the old one.
TEST_F(USBManager, ALetterThatMovedFailsTheStep) {
  kxusb::UsbMachine m({VirtualDisk{1, 100, "usb", true, "label: dos\\nstart=2048,type=c\\n"}}, {});
  // The letter E comes from the volume record, as a previous run left it;
  // after each script the "desktop" remounts the volume as F.
  std::filesystem::create_directories(m.disks().dir().path() / "volumes/disk1-part1");
  std::ofstream(m.disks().dir().path() / "volumes.ini")
      << "[volume E]\ndisk = 1\npartition = 1\nfolder = " << m.disks().dir().str() << "/volumes/disk1-part1\n";
  m.WrapDiskpart("\"$REAL\" \"$@\"; rc=$?; sed -i -e 's/^\\[volume E\\]/[volume F]/' -e \"s/^owner = $$/owner = $PPID/\" \"$KESTRUNEX_PREFIX/volumes.ini\"; exit $rc");
  kxusb::ScriptedBoxes boxes;
  EXPECT_FALSE(CUSBManager::Instance()->FormatActiveUSB(L"E:\\"));
  std::string log = m.Log();
  EXPECT_TRUE(Contains(log, "[CUSBManager::ReGetUSBLtr] - m_USBLetter: F")) << log;
  EXPECT_TRUE(Contains(log, "[CUSBManager::FormatUSB - ReGetUSBLtr] letter changed from E to F")) << log;
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, L"Get USB disk/flash letter error!");
}

// The recovery makes one partition: the second partition chosen at first is
// partition 1 afterwards, and its letter is looked for there.
TEST_F(USBManager, AfterTheRecoveryThePartitionIndexIsOne) {
  kxusb::UsbMachine m({VirtualDisk{1, 100, "usb", true, "label: dos\\nstart=63,size=40000,type=c\\nstart=43008,type=c\\n"}},
                      {VolumeSpec{'E', 1, 2, "removable"}});
  kxusb::ScriptedBoxes boxes({platform::IDYES, platform::IDYES});
  ASSERT_TRUE(CUSBManager::Instance()->FormatActiveUSB(L"E:\\")) << m.Log();
  const std::string log = m.Log();
  EXPECT_TRUE(Contains(log, "[CUSBManager::FormatUSB - DiskIndex, PartIndex] 1 , 2")) << log;
  EXPECT_TRUE(Contains(log, "[CUSBManager::FormatUSB - DiskpartActive] is fail")) << log;
  EXPECT_TRUE(Contains(log, "[CUSBManager::ReGetUSBLtr] - m_USBLetter: E")) << log;
  const std::string dump = ShellOutput("sfdisk -d " + m.disks().Image(1).string());
  EXPECT_TRUE(Contains(dump, "start=        2048, size=      202752, type=c, bootable")) << dump;
  EXPECT_FALSE(Contains(dump, "start=       43008")) << dump;
}

// The partition shows no letter after the 2000 ms the system is given to
// mount it: the letter error box and its trace line.
TEST_F(USBManager, ALetterNotFoundAfterTheWaitFailsTheStep) {
  kxusb::UsbMachine m({VirtualDisk{1, 100, "usb", true, "label: dos\\nstart=2048,type=c\\n"}}, {});
  std::filesystem::create_directories(m.disks().dir().path() / "volumes/disk1-part1");
  std::ofstream(m.disks().dir().path() / "volumes.ini")
      << "[volume E]\ndisk = 1\npartition = 1\nfolder = " << m.disks().dir().str() << "/volumes/disk1-part1\n";
  // After each script the letter belongs to no partition of the disk (the
  // mount stays recorded, and this process's, so it is released).
  m.WrapDiskpart("\"$REAL\" \"$@\"; rc=$?; sed -i -e 's/^partition = 1$/partition = 9/' -e \"s/^owner = $$/owner = $PPID/\" \"$KESTRUNEX_PREFIX/volumes.ini\"; exit $rc");
  kxusb::ScriptedBoxes boxes;
  const std::uint64_t sleptBefore = m.SleptMs();
  EXPECT_FALSE(CUSBManager::Instance()->FormatActiveUSB(L"E:\\"));
  EXPECT_GE(m.SleptMs() - sleptBefore, 2000u);
  EXPECT_TRUE(Contains(m.Log(), "[CUSBManager::FormatUSB - ReGetUSBLtr] is fail")) << m.Log();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, L"Get USB disk/flash letter error!");
}

// A source FAT32 cannot hold: the disk is known to be a USB disk before the
// refusal, a FAT32-sized one is refused before anything is formatted, and an
// NTFS-sized one whose format failed is refused before the recovery asks to
// erase it, with a text true for a partition that may have been formatted.
struct BlockerCase {
  const char* name;
  std::uint64_t sizeMb;
  const char* bus;
  bool formatFails;
  int text;  // 0 not a USB disk, 1 too large before formatting, 2 recovery refused
};

class Fat32Blocker : public USBManager, public ::testing::WithParamInterface<BlockerCase> {};

TEST_P(Fat32Blocker, IsToldOnceBeforeAnyQuestionAndTheDiskStaysAsItWas) {
  const BlockerCase& c = GetParam();
  const bool usb = std::string(c.bus) == "usb";
  kxusb::UsbMachine m({VirtualDisk{1, c.sizeMb, c.bus, usb, "label: dos\\nstart=2048,type=c\\n"}},
                      {VolumeSpec{'E', 1, 1, usb ? "removable" : "fixed"}});
  const std::string image = m.disks().Image(1).string();
  // The table and the start of the partition: any format rewrites these.
  const std::string head = "head -c 4M " + image + " | sha256sum";
  const std::string before = kxtest::ShellOutput(head);
  if (c.formatFails) {
    ASSERT_EQ(kxtest::Shell("chattr +i " + image), 0);
  }
  const std::wstring big = L"D:\\sources\\install.wim";
  CUSBManager::Instance()->SetFat32Blocker(big);
  kxusb::ScriptedBoxes boxes({platform::IDYES, platform::IDYES});
  const bool ok = CUSBManager::Instance()->FormatActiveUSB(L"E:\\");
  if (c.formatFails) kxtest::Shell("chattr -i " + image);
  EXPECT_FALSE(ok);
  ASSERT_EQ(boxes.shown.size(), 1u) << "no question before the refusal";
  const std::uint64_t limit = platform::disks::Fat32FileLimit();
  const std::wstring expected[] = {L"This is not a USB disk/flash.", FileTooLargeForFat32Text(big, limit),
                                   Fat32RecoveryRefusedText(big, limit)};
  EXPECT_EQ(boxes.shown[0].text, expected[c.text]);
  EXPECT_EQ(kxtest::ShellOutput(head), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Fat32Blocker,
    ::testing::Values(BlockerCase{"SataDiskIsNoUsbDiskFirst", 100, "sata", false, 0},
                      BlockerCase{"Fat32SizedStick", 100, "usb", false, 1},
                      BlockerCase{"NtfsSizedStickWhoseFormatFailed", 40100, "usb", true, 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
