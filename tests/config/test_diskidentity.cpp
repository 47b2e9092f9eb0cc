#include "config/diskidentity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/machine/machine.h"
#include "platform/text.h"
#include "testmachine.h"

namespace {

TEST(DiskIdentity, SizesReadInGiBWithOneDecimalRoundedDownElseInMiB) {
  struct Case {
    std::uint64_t bytes;
    const wchar_t* text;
  } cases[] = {{0, L"0 MiB"},
               {(1ull << 30) - 1, L"1023 MiB"},
               {1ull << 30, L"1.0 GiB"},
               {8053063680ull, L"7.5 GiB"},  // a "8 GB" stick
               {(8ull << 30) - 1, L"7.9 GiB"},
               {2000398934016ull, L"1863.0 GiB"}};
  for (const auto& c : cases) EXPECT_EQ(DiskSizeText(c.bytes), c.text) << c.bytes;
}

// The line under the erase question, for each way a drive can sit on a disk.
TEST(DiskIdentity, NamesModelSizeAndTheDeviceOrImageThatHoldsTheBytes) {
  kxtest::TempDir dir;
  const auto image = dir.path() / "stick.img";
  std::ofstream(image).put('\0');
  std::filesystem::resize_file(image, 256ull << 20);
  const std::string root = dir.str();
  const std::string profile =
      "[drive F]\nfolder = f\ntype = removable\nbus = usb\ndisk = 1\n"
      "[disk 1]\nimage = " + image.string() + "\nbus = usb\nremovable = yes\n"
      "[drive H]\nfolder = h\ntype = removable\nbus = usb\ndisk = 2\n"
      "[disk 2]\nsize_mb = 7680\ndevice = /dev/sdx\nmodel = SanDisk Cruzer Blade\nbus = usb\n"
      "[drive J]\nfolder = j\ntype = removable\nbus = usb\ndevice = /dev/sdy1\n"
      "[drive K]\nfolder = k\ntype = removable\nbus = usb\n";
  for (const char* f : {"f", "h", "j", "k", "drive_c"}) std::filesystem::create_directories(dir.path() / f);
  platform::ScopedMachine machine(platform::Machine::FromProfileText(profile, root + "/machine.ini", root));
  EXPECT_EQ(DiskIdentityLine(L"F:\\"), L"256 MiB, " + platform::WideFromAnsi(image.string()));
  EXPECT_EQ(DiskIdentityLine(L"H:\\"), L"SanDisk Cruzer Blade, 7.5 GiB, /dev/sdx");
  EXPECT_EQ(DiskIdentityLine(L"J:\\"), L"/dev/sdy1");
  EXPECT_EQ(DiskIdentityLine(L"K:\\"), platform::WideFromAnsi(root + "/k"));
  EXPECT_EQ(DiskIdentityLine(L"Q:\\"), L"");
}

}  // namespace
