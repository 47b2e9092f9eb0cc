// The program's efi\boot\bootx64.efi, copied onto 64-bit sticks, starts the
// medium's UEFI boot manager: \efi\microsoft\boot\bootmgfw.efi where the
// medium has one, else \bootmgr.efi (Windows 7 discs). Checked under QEMU
// and OVMF on a FAT32 stick image made here (the stand-in plays each boot
// manager).
#include <gtest/gtest.h>

#include "testmachine.h"
#include "toolrun.h"

namespace fs = std::filesystem;
using namespace oscdimgtest;

namespace {

struct StickCase {
  const char* name;
  const char* bootManagerPath;  // where the stand-in lies on the stick
};

void PrintTo(const StickCase& c, std::ostream* os) { *os << c.name; }

class StickLoader : public testing::TestWithParam<StickCase> {};

TEST_P(StickLoader, StartsTheMediumsUefiBootManager) {
  kxtest::TempDir dir;
  const std::string stick = (dir.path() / "stick.img").string(), part = (dir.path() / "part.img").string();
  const std::string loader = std::string(KX_PROGRAM_DIR) + "/efi/boot/bootx64.efi";
  const std::string standin = StandinsDir() + "/bootmgr.efi";
  const std::string target = GetParam().bootManagerPath;
  const std::string folder = fs::path(target).parent_path().string();
  std::string mkdirs;
  for (fs::path p; const auto& piece : fs::path(folder).relative_path()) {
    p /= piece;
    if (p != "/" && p != "efi" && p != "efi/boot") mkdirs += " ::/" + p.string();
  }
  // A 64 MiB stick: one FAT32 partition at 1 MiB, as a stick prepared for a
  // medium is laid out.
  const Result made = Shell(
      "truncate -s 64M " + Quote(stick) + " && printf 'label: dos\\nstart=2048, type=c, bootable\\n' | sfdisk -q " +
      Quote(stick) + " && truncate -s 63M " + Quote(part) + " && PATH=$PATH:/usr/sbin:/sbin mkfs.vfat -F 32 " +
      Quote(part) + " >/dev/null && mmd -i " + Quote(part) + " ::/efi ::/efi/boot" + mkdirs + " && mcopy -i " +
      Quote(part) + " " + Quote(loader) + " ::/efi/boot/bootx64.efi && mcopy -i " + Quote(part) + " " + Quote(standin) +
      " ::" + target + " && dd if=" + Quote(part) + " of=" + Quote(stick) + " bs=1M seek=1 conv=notrunc status=none");
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const Result r = Shell(SourceDir() + "/scripts/boot-check --uefi --usb " + Quote(stick) +
                         " --expect 'KX stand-in bootmgr.efi reached (UEFI)' --timeout 120");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

INSTANTIATE_TEST_SUITE_P(Media, StickLoader,
                         testing::Values(StickCase{"WindowsSevenDisc", "/bootmgr.efi"},
                                         StickCase{"LaterDisc", "/efi/microsoft/boot/bootmgfw.efi"}),
                         [](const testing::TestParamInfo<StickCase>& info) { return std::string(info.param.name); });

}  // namespace
