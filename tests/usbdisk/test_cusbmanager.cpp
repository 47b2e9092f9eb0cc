// The USB disk manager on virtual disks with our disk tool: which disk and
// partition a letter names, the size decision, the two-question recovery and
// the letter found again.

#include <gtest/gtest.h>

#include "disk/usb/cusbmanager.h"
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

TEST_F(USBManager, DisksOver40000MiBAreFormattedNtfs) {
  kxusb::UsbMachine m({VirtualDisk{1, 40100, "usb", true, "label: dos\\nstart=2048,type=c\\n"}},
                      {VolumeSpec{'E', 1, 1, "removable"}});
  kxusb::ScriptedBoxes boxes;
  ASSERT_TRUE(CUSBManager::Instance()->FormatActiveUSB(L"E:\\")) << m.Log();
  std::string dump = ShellOutput("sfdisk -d " + m.disks().Image(1).string());
  EXPECT_TRUE(Contains(dump, "type=7, bootable")) << dump;
}

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

}  // namespace
