// The ISO-mode chain on a generated sample medium, as the window starts it:
// the DVD is copied into the work folder, boot.wim and (compatibility mode)
// install.wim get the drivers, the Other folder or the OS folder follows,
// and our ISO tool turns the work folder into an ISO image that peers read:
// xorriso finds both El Torito entries and every file of the work folder,
// wimlib verifies the serviced boot.wim inside, and QEMU boots it in BIOS
// and UEFI mode into the medium's own boot managers (our stand-ins).

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "disk/appfolders.h"
#include "disk/mediumutils.h"
#include "pipeline/opmessages.h"
#include "pipeline/steplists.h"
#include "pipeline/win7inscreator.h"
#include "platform/machine/machine.h"
#include "platform/windows/messagequeuewindow.h"
#include "platform/fs/sysfolders.h"
#include "recordingboxes.h"
#include "sampledrivers.h"
#include "samplewim.h"
#include "testmachine.h"

namespace fs = std::filesystem;

namespace {

class IsoChainTest : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ResetStepListsForTesting();
    int status = -1;
    std::string out = kxdism::Run("KX_STANDINS_DIR='" KX_STANDINS_DIR "' " + std::string(KX_SOURCE_DIR) +
                                      "/scripts/make-sample-medium --install-images 2 '" +
                                      machine.Root('E').string() + "' 2>&1",
                                  &status);
    ASSERT_EQ(status, 0) << out;
    fs::create_directories(machine.Root('F') / "iso");

    // What the window writes into the record before it starts the run.
    std::memset(&info, 0, sizeof info);
    SetInfoField(info.szSourcePath, L"E:\\");
    SetInfoField(info.szDriverPath, FromAnsiPath(GetAppDataFolder()) + L"U3");
    SetInfoField(info.szImgDriverPath, kxtest::SampleRunOsFolder(IsAmd64Build(L"E:\\sources\\idwbinfo.txt")));
    SetInfoField(info.szTagPath, L"F:\\iso");
    SetInfoField(info.szTmpPath, GetWorkFolder(700, L"F:\\iso"));
    info.bIs64bitDVD = IsAmd64Build(L"E:\\sources\\idwbinfo.txt");
  }
  void TearDown() override { ResetStepListsForTesting(); }

  static std::wstring FromAnsiPath(const std::string& s) { return std::wstring(s.begin(), s.end()); }
  fs::path Work(const std::string& relative) const {
    return machine.Root('C') / "ProgramData/Ovanta/Kestrunex/OvantaToolTmp" / relative;
  }
  std::string Trace() const {
    return kxtest::ReadHostFile(machine.Root('C') / "ProgramData/Ovanta/Kestrunex/RAREzodav.log");
  }

  kxtest::TestMachine machine{{.letter = 'E', .type = "cdrom", .label = "GRMCULFRER_EN_DVD", .fileSystem = "CDFS"},
                              {.letter = 'F', .type = "fixed", .fileSystem = "NTFS"}};
  kxdism::RecordingBoxes boxes;
  WIN7_OPERAT_INFO info;
  std::vector<std::pair<int, platform::LPARAM>> states;
  std::vector<platform::LPARAM> images;
  platform::MessageQueueWindow window{[this](platform::UINT m, platform::WPARAM w, platform::LPARAM l) {
    if (m == WM_OPSTATE) states.emplace_back(static_cast<int>(w), l);
    if (m == WM_OPIMAGES) images.push_back(l);
    return platform::LRESULT{0};
  }};
};

}  // namespace

TEST_P(IsoChainTest, RunsThroughCopiesAndDriversToABootableIso) {
  const bool compatible = GetParam();
  Win7InsCreator creator(&info, &window, kModeIso, compatible);
  EXPECT_EQ(creator.Excute(), 1);
  window.PumpPending();

  const std::string trace = Trace();
  EXPECT_NE(trace.find("ISOOperation Excute - end(TRUE)"), std::string::npos)
      << trace.substr(std::min(trace.size(), trace.find("ISOOperation create")));
  EXPECT_EQ(trace.find("DismCpp"), std::string::npos);

  // The DVD, serviced: boot.wim image 2 has the drivers; install.wim's
  // images only in compatibility mode, else the OS folder was copied in.
  EXPECT_TRUE(fs::exists(Work("setup.exe")));
  EXPECT_TRUE(fs::exists(Work("autorun.inf")));
  const std::string staged = "/Windows/System32/DriverStore/FileRepository/amdxhc.inf_amd64_neutral_";
  EXPECT_NE(kxdism::Listing(Work("sources/boot.wim"), 2).find(staged), std::string::npos);
  const std::string install1 = kxdism::Listing(Work("sources/install.wim"), 1);
  EXPECT_EQ(install1.find(staged) != std::string::npos, compatible);
  EXPECT_EQ(fs::exists(Work("AutoUnattend")), !compatible);
  // The drivers are installed: service and device binding in each serviced image's SYSTEM hive.
  const std::string service = "/ControlSet001/Services/amdxhc/ImagePath,EXPAND_SZ,\\SystemRoot\\System32\\drivers\\AMDXHC.SYS,";
  const std::string binding = "/ControlSet001/Control/CriticalDeviceDatabase/pci#ven_1022&dev_f43b/Service,SZ,amdxhc,";
  const std::string bootHive = kxdism::SystemHiveListing(Work("sources/boot.wim"), 2);
  EXPECT_NE(bootHive.find(service), std::string::npos) << bootHive;
  EXPECT_NE(bootHive.find(binding), std::string::npos);
  for (int image = 1; image <= 2; ++image) {
    const std::string hive = kxdism::SystemHiveListing(Work("sources/install.wim"), image);
    EXPECT_EQ(hive.find(binding) != std::string::npos, compatible) << image;
  }
  EXPECT_EQ(images, compatible ? (std::vector<platform::LPARAM>{1, 2}) : (std::vector<platform::LPARAM>{1}));

  // Progress: every copy ends in (3, 100); nothing failed on the way; the
  // ISO step's percentages grow. (Each read of the tool's output yields its
  // first "% complete" only, so when the tool's last lines arrive in one
  // read, as they do on a busy machine, 100 is never posted.)
  int copiesDone = 0;
  platform::LPARAM isoLast = 0;
  for (auto [state, value] : states) {
    EXPECT_NE(state, kStateCopyFailed);
    if (state == kStateCopySuccess) ++copiesDone;
    if (state == kStateGeneratingIso) {
      EXPECT_GT(value, isoLast);
      isoLast = value;
    }
  }
  EXPECT_EQ(copiesDone, compatible ? 2 : 3);
  EXPECT_GT(isoLast, 0);

  // The ISO, as peers read it.
  const fs::path iso = machine.Root('F') / "iso/GRMCULFRER_EN_DVD.iso";
  ASSERT_TRUE(fs::exists(iso));
  const std::string q = "'" + iso.string() + "'";
  int status = -1;
  const std::string torito = kxdism::Run("xorriso -indev " + q + " -report_el_torito plain 2>/dev/null", &status);
  EXPECT_NE(torito.find("BIOS  y   none"), std::string::npos) << torito;
  EXPECT_NE(torito.find("UEFI  y   none"), std::string::npos) << torito;
  const fs::path extracted = machine.dir().path() / "extracted";
  kxdism::Run("xorriso -osirrox on -indev " + q + " -extract / '" + extracted.string() + "' >/dev/null 2>&1", &status);
  ASSERT_EQ(status, 0);
  const std::string diff =
      kxdism::Run("diff -r '" + Work("").string() + "' '" + extracted.string() + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << "the ISO differs from the work folder:\n" << diff;
  kxdism::Run("wimlib-imagex verify '" + (extracted / "sources/boot.wim").string() + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(kxdism::Listing(extracted / "sources/boot.wim", 2).find(staged), std::string::npos);

  // Both firmwares boot it into the medium's boot manager (once is enough).
  if (compatible) return;
  const std::string bootCheck = std::string(KX_SOURCE_DIR) + "/scripts/boot-check ";
  for (const std::string& boot :
       {"--bios --cdrom " + q + " --expect 'KX stand-in bootmgr reached (BIOS)' --timeout 60",
        "--uefi --cdrom " + q + " --expect 'KX stand-in bootmgr.efi reached (UEFI)' --timeout 120"}) {
    const std::string out = kxdism::Run(bootCheck + boot + " 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
  }
}

INSTANTIATE_TEST_SUITE_P(CompatibilityBox, IsoChainTest, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Ticked" : "Unticked"; });
