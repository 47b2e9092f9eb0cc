// Paths in kestrunex-cli's lines: the host path first, the drive path in
// brackets where it tells more.

#include "tools/cli/hostpathtext.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/machine/machine.h"
#include "platform/text.h"
#include "testmachine.h"

namespace {

TEST(HostPathText, NamesTheHostPathAndTheDriveWhereItTellsMore) {
  kxtest::TempDir dir;
  const std::string d = dir.str();
  std::filesystem::create_directories(dir.path() / "images");
  std::filesystem::create_directories(dir.path() / "f");
  std::ofstream(dir.path() / "stick.img").put('\0');
  const std::string profile =
      "[drive G]\nfolder = images\n"
      "[disk 1]\nimage = " + d + "/stick.img\nbus = usb\n"
      "[drive F]\nfolder = f\ntype = removable\nbus = usb\ndisk = 1\npartition = 1\n"
      "[disk 2]\nsize_mb = 100\ndevice = /dev/sdw\nbus = usb\n";
  platform::ScopedMachine machine(platform::Machine::FromProfileText(profile, d + "/machine.ini", d));
  platform::DriveDecl device;  // a stick's volume no folder of the host shows
  device.letter = L'K';
  device.driveType = platform::DRIVE_REMOVABLE;
  device.hostDevice = "/dev/sdw1";
  machine.machine().AddDrive(device);
  const std::wstring w = platform::WideFromAnsi(d);
  const struct {
    std::wstring path, shown;
  } cases[] = {
      {L"G:\\X.iso", w + L"/images/X.iso (G:\\X.iso)"},
      {L"G:\\", w + L"/images (G:\\)"},
      {L"F:\\X.iso", w + L"/f/X.iso (F:\\X.iso)"},
      {L"Z:\\srv\\iso\\X.iso", L"/srv/iso/X.iso"},  // the host root: its path says it all
      {L"K:\\", L"/dev/sdw1 (K:\\)"},
      {L"K:\\sources", L"K:\\sources"},  // inside a volume no folder shows
      {L"Q:\\X.iso", L"Q:\\X.iso"},      // a letter the machine does not map
      {L"relative\\X.iso", L"relative\\X.iso"},
  };
  for (const auto& c : cases) EXPECT_EQ(HostPathText(c.path), c.shown) << platform::AnsiFromWide(c.path);
}

}  // namespace
