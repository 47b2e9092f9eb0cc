// The USB-mode chain (5, 8, 9, 7, 19) on the generated sample medium onto a
// virtual USB stick, as the window starts it, then checked with the peers:
// sfdisk (one active partition of the file system's type), fsck.vfat /
// ntfsfix (clean), the fitted label, the files against the source plus the
// OS and Other folders, boot.wim's staged drivers, and the BIOS boot code.
// A stick of 4096-byte sectors is partitioned and formatted in its own
// sectors but refused at active (no firmware starts it): see the diskpart
// tests.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <filesystem>
#include <fstream>

#include "disk/appfolders.h"
#include "disk/mediumutils.h"
#include "pipeline/jobchecks.h"
#include "pipeline/opmessages.h"
#include "pipeline/steplists.h"
#include "pipeline/toperationthd.h"
#include "pipeline/win7inscreator.h"
#include "platform/disks/volumemount.h"
#include "platform/windows/messagequeuewindow.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"
#include "sampledrivers.h"
#include "usbkit.h"

namespace fs = std::filesystem;

namespace {

using kxtest::Shell;
using kxtest::ShellOutput;

constexpr std::uint64_t kMiB = 1024 * 1024;

struct StickCase {
  const char* name;
  std::uint64_t sizeMb;
  const char* type;        // the partition type sfdisk shows
  const char* checker;     // the file-system check, run on the partition
  const char* extractor;   // copies the volume's files into $OUT
  bool uefi;               // UEFI firmware reads the stick (FAT only)
  std::uint32_t sectorSize;  // the stick's logical sectors; BIOS starts only 512
};

// A peer tool over partition 1 of the image through a loop device.
int OnPartition(const fs::path& image, std::uint32_t sectorSize, const std::string& command) {
  std::uint64_t start = 0, size = 0;
  if (!kxtest::SfdiskPartition(image, 1, &start, &size, sectorSize)) return -1;
  std::string loop = ShellOutput("losetup -f --show -o " + std::to_string(start) + " --sizelimit " +
                                 std::to_string(size) + " " + image.string());
  loop = loop.substr(0, loop.find('\n'));
  int rc = Shell("DEV=" + loop + "; " + command);
  Shell("losetup -d " + loop);
  return rc;
}

class ReportView final : public RunResultView {
 public:
  explicit ReportView(std::string prefix) : prefix_(std::move(prefix)) {}
  std::wstring StatusText() const override { return status_; }
  void SetStatusText(const std::wstring& text) override { status_ = text; }
  void ShowResult(int r) override {
    mountsAtReport = ShellOutput("mount | grep -c '" + prefix_ + "'");
    result.store(r);
  }
  std::atomic<int> result{-1};
  std::string mountsAtReport;

 private:
  std::string prefix_;
  std::wstring status_;
};

class UsbChain : public ::testing::TestWithParam<StickCase> {
 protected:
  void SetUp() override { ResetStepListsForTesting(); }
  void TearDown() override { ResetStepListsForTesting(); }
};

TEST_P(UsbChain, MakesACleanBootableStickHoldingTheMedium) {
  const StickCase& c = GetParam();
  const std::string firstSector = std::to_string(kMiB / c.sectorSize);
  kxusb::UsbMachine m({kxtest::VirtualDisk{1, c.sizeMb, "usb", true,
                                           "label: dos\\nstart=" + firstSector + ",type=c\\n", c.sectorSize}},
                      {kxtest::VolumeSpec{'F', 1, 1, "removable"}},
                      "\n[drive E]\nfolder = dvd\ntype = cdrom\nlabel = GRMCULFRER_EN_DVD\nfilesystem = CDFS\n"
                      "\n[drivers]\nlibrary = drivers\nsamples = yes\npci = pci\n");
  const fs::path dvd = m.disks().dir().path() / "dvd";
  ASSERT_EQ(Shell("KX_STANDINS_DIR='" KX_STANDINS_DIR "' " + std::string(KX_SOURCE_DIR) + "/scripts/make-sample-medium '" +
                  dvd.string() + "' >/dev/null 2>&1"),
            0);
  kxusb::ScriptedBoxes boxes;
  WIN7_OPERAT_INFO info;
  std::memset(&info, 0, sizeof info);
  SetInfoField(info.szSourcePath, L"E:\\");
  SetInfoField(info.szDriverPath, platform::WideFromAnsi(GetAppDataFolder()) + L"U3");
  SetInfoField(info.szImgDriverPath, kxtest::SampleRunOsFolder(IsAmd64Build(L"E:\\sources\\idwbinfo.txt")));
  SetInfoField(info.szTagPath, L"F:\\");
  SetInfoField(info.szTmpPath, GetWorkFolder(100, L"F:\\"));
  info.bIs64bitDVD = IsAmd64Build(L"E:\\sources\\idwbinfo.txt");
  std::vector<std::pair<int, platform::LPARAM>> states;
  platform::MessageQueueWindow window{[&](platform::UINT msg, platform::WPARAM w, platform::LPARAM l) {
    if (msg == WM_OPSTATE) states.emplace_back(static_cast<int>(w), l);
    return platform::LRESULT{0};
  }};
  // Run as the window runs it: on the worker thread, which reports the end.
  ReportView view(m.disks().dir().str());
  {
    TOperationThd worker(true, false, &info, kModeUsb, &window, &view);
    worker.Resume();
    // The driver step sends its image count: the window thread pumps.
    auto done = [&] { return view.result.load() >= 0; };
    for (int i = 0; i < 6000 && !done(); ++i) window.PumpUntil(done, std::chrono::milliseconds(100));
  }
  window.PumpPending();
  ASSERT_EQ(view.result.load(), kRunSucceeded) << m.Log();
  EXPECT_TRUE(boxes.shown.empty()) << platform::AnsiFromWide(boxes.shown.empty() ? L"" : boxes.shown[0].text);
  for (auto [state, value] : states) EXPECT_NE(state, kStateCopyFailed);
  EXPECT_EQ(states.back(), (std::pair<int, platform::LPARAM>{kStateFinish, 100}));
  // The stick was released (written out, unmounted) before success was reported.
  EXPECT_EQ(view.mountsAtReport, "0\n");

  const fs::path image = m.disks().Image(1);
  std::string dump = kxtest::SfdiskDump(image, c.sectorSize);
  EXPECT_NE(dump.find("start=" + std::string(12 - firstSector.size(), ' ') + firstSector + ", size="),
            std::string::npos)
      << dump;
  EXPECT_NE(dump.find(std::string("type=") + c.type + ", bootable"), std::string::npos) << dump;
  EXPECT_EQ(OnPartition(image, c.sectorSize, std::string(c.checker) + " $DEV >/dev/null 2>&1"), 0)
      << "the file system is not clean";

  const fs::path out = m.disks().dir().path() / "stick-files";
  fs::create_directories(out);
  ASSERT_EQ(OnPartition(image, c.sectorSize, "OUT='" + out.string() + "'; " + c.extractor), 0);
  // Every source file arrived unchanged, boot.wim apart (it was serviced).
  for (const auto& e : fs::recursive_directory_iterator(dvd)) {
    if (!e.is_regular_file()) continue;
    std::string rel = fs::relative(e.path(), dvd).string();
    if (rel == "sources/boot.wim") continue;
    EXPECT_EQ(ShellOutput("sha256sum < '" + e.path().string() + "'"),
              ShellOutput("sha256sum < '" + (out / rel).string() + "' 2>/dev/null"))
        << rel;
  }
  EXPECT_TRUE(fs::exists(out / "AutoUnattend")) << "the OS folder";
  EXPECT_TRUE(fs::exists(out / "efi")) << "the EFI folder of a 64-bit medium";
  std::string listing = ShellOutput("wimlib-imagex dir '" + (out / "sources/boot.wim").string() + "' 2");
  EXPECT_NE(listing.find("/Windows/System32/DriverStore/FileRepository/"), std::string::npos);
  EXPECT_EQ(Shell("wimlib-imagex verify '" + (out / "sources/boot.wim").string() + "' >/dev/null 2>&1"), 0);

  // The MBR carries GRUB's boot code, which starts \bootmgr.
  std::string mbr(440, '\0');
  std::ifstream(image, std::ios::binary).read(mbr.data(), 440);
  std::string boot = kxtest::ReadHostFile(std::string(KX_PROGRAM_DIR) + "/bootcode/boot.img").substr(0, 440);
  boot[0x66] = boot[0x67] = static_cast<char>(0x90);
  EXPECT_TRUE(mbr == boot);

  // A machine boots the stick into the medium's boot manager (our stand-in).
  const std::string check = std::string(KX_SOURCE_DIR) + "/scripts/boot-check";
  if (c.sectorSize == 512) {
    std::string bios = ShellOutput(check + " --bios --usb '" + image.string() +
                                   "' --expect 'KX stand-in bootmgr reached (BIOS)' --timeout 90 2>&1");
    EXPECT_NE(bios.find("boot-check: PASS"), std::string::npos) << bios;
  }
  if (c.uefi) {
    std::string uefi = ShellOutput(check + " --uefi --usb '" + image.string() + "' --sector-size " +
                                   std::to_string(c.sectorSize) +
                                   " --expect 'KX stand-in bootmgr.efi reached (UEFI)' --timeout 180 2>&1");
    EXPECT_NE(uefi.find("boot-check: PASS"), std::string::npos) << uefi;
  }
}

// A stick of 4096-byte logical sectors is a USB partition like any other
// but no computer starts Windows 7 from it: both front ends refuse it
// before the format question, with the size in the text.
TEST(StickSectors, OnlyADiskOf512ByteSectorsIsOfferedForTheFormat) {
  for (const std::uint32_t sectorSize : {512u, 4096u}) {
    kxusb::UsbMachine m({kxtest::VirtualDisk{1, 64, "usb", true,
                                             "label: dos\\nstart=" + std::to_string(kMiB / sectorSize) + ",type=c\\n",
                                             sectorSize}},
                        {kxtest::VolumeSpec{'F', 1, 1, "removable"}});
    EXPECT_TRUE(IsUsbStickPartition(L"F:\\")) << sectorSize;
    EXPECT_EQ(StickSectorBytes(L"F:\\"), sectorSize);
    EXPECT_EQ(StickSectorsStartWindows(L"F:\\"), sectorSize == 512) << sectorSize;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sticks, UsbChain,
    ::testing::Values(
        StickCase{"Fat32", 256, "c", "fsck.vfat -n",
                  "mcopy -s -n -i $DEV '::*' \"$OUT/\" >/dev/null 2>&1 && [ -n \"$(fatlabel $DEV | grep -x 'GRMCULFRE~1')\" ]",
                  true, 512},
        StickCase{"NtfsOver40000MiB", 40100, "7", "ntfsfix -n",
                  "M=$(mktemp -d) && ntfs-3g -o ro $DEV $M && cp -a $M/. \"$OUT/\" && fusermount -u $M && "
                  "[ \"$(ntfslabel $DEV)\" = 'GRMCULFRE~1' ]",
                  false, 512}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
