#include "tools/cli/usbtarget.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "config/ovmultilangdll.h"
#include "platform/machine/machine.h"
#include "platform/text.h"
#include "testmachine.h"

namespace {

namespace fs = std::filesystem;

// A machine with a partitioned virtual stick (volume on partition 1), a
// stick whose volumes sit on partitions 2 and 3, one with nothing on it, and
// two device-backed disks: one partitioned, one with a file system on the
// whole disk.
class UsbTarget : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"p1.img", "p23.img", "empty.img", "bought.img"}) {
      std::ofstream(dir.path() / name).put('\0');
      fs::resize_file(dir.path() / name, 64ull << 20);
    }
    for (const char* f : {"f", "h", "i", "j", "k", "drive_c"}) fs::create_directories(dir.path() / f);
    const std::string d = dir.str();
    const std::string profile =
        "[disk 1]\nimage = " + d + "/p1.img\nbus = usb\n"
        "[drive F]\nfolder = f\ntype = removable\nbus = usb\ndisk = 1\npartition = 1\n"
        "[disk 2]\nimage = " + d + "/p23.img\nbus = usb\n"
        "[drive H]\nfolder = h\ntype = removable\nbus = usb\ndisk = 2\npartition = 3\n"
        "[drive I]\nfolder = i\ntype = removable\nbus = usb\ndisk = 2\npartition = 2\n"
        "[disk 3]\nsize_mb = 100\ndevice = /dev/sdw\nbus = usb\n"
        "[drive J]\nfolder = j\ntype = removable\nbus = usb\ndisk = 3\ndevice = /dev/sdw\n"
        "[disk 4]\nimage = " + d + "/empty.img\nbus = usb\n"
        "[disk 5]\nsize_mb = 100\ndevice = /dev/sdz\nbus = usb\n"
        "[drive K]\nfolder = k\ntype = removable\nbus = usb\ndisk = 5\ndevice = /dev/sdz1\n";
    machine = std::make_unique<platform::ScopedMachine>(
        platform::Machine::FromProfileText(profile, d + "/machine.ini", d));
  }
  kxtest::TempDir dir;
  std::unique_ptr<platform::ScopedMachine> machine;
};

TEST_F(UsbTarget, ADiskStandsForItsFirstPartitionsVolume) {
  const std::string d = dir.str();
  struct Case {
    std::string text;
    std::wstring root;
    const wchar_t* errorKey;
  } cases[] = {
      {"F:\\", L"F:\\", nullptr},
      {"Q:\\", L"", L"Cli No Drive"},
      {d + "/p1.img", L"F:\\", nullptr},
      {d + "/f/../p1.img", L"F:\\", nullptr},  // another spelling of the same file
      {d + "/p23.img", L"I:\\", nullptr},
      {"/dev/sdw", L"", L"Cli No Partition"},  // a file system on the whole disk
      {d + "/empty.img", L"", L"Cli No Partition"},
      {"/dev/sdz", L"K:\\", nullptr},
      {d + "/missing.img", L"", L"Cli No Disk"},
      {"/dev/null", L"", L"Cli No Disk"},  // neither an image file nor a loop device over one
      // An image no profile names: a new USB disk, its first partition a new
      // drive; named again, the same drive.
      {d + "/bought.img", L"D:\\", nullptr},
      {d + "/bought.img", L"D:\\", nullptr},
  };
  for (const Case& c : cases) {
    std::wstring error;
    EXPECT_EQ(ResolveUsbTarget(platform::WideFromAnsi(c.text), error), c.root) << c.text;
    if (c.errorKey) {
      EXPECT_EQ(error.rfind(Translate(c.errorKey), 0), 0u) << c.text << ": " << platform::AnsiFromWide(error);
    }
  }
  const auto added = platform::CurrentMachine().Drive(L'D');
  ASSERT_TRUE(added);
  const auto disk = platform::CurrentMachine().Disk(added->diskNumber);
  ASSERT_TRUE(disk);
  EXPECT_EQ(disk->image, d + "/bought.img");
  EXPECT_EQ(disk->busType, platform::BusTypeUsb);
  EXPECT_EQ(added->partitionNumber, 1);
  std::wstring error;
  ResolveUsbTarget(L"Q:\\", error);
  EXPECT_EQ(error, Translate(L"Cli No Drive") + L" Q:");
}

}  // namespace
