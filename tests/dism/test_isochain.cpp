// The ISO-mode chain on a generated sample medium, as the window starts it:
// the DVD is copied into the work folder, boot.wim and (compatibility mode)
// install.wim get the drivers, the Other folder or the OS folder follows,
// and the run reaches the ISO step, which fails as a missing tool does: no
// ISO tool is installed beside this test program.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "disk/appfolders.h"
#include "disk/mediumutils.h"
#include "pipeline/opmessages.h"
#include "pipeline/steplists.h"
#include "pipeline/win7inscreator.h"
#include "platform/machine.h"
#include "platform/messagequeuewindow.h"
#include "platform/sysfolders.h"
#include "recordingboxes.h"
#include "samplewim.h"
#include "testmachine.h"

namespace fs = std::filesystem;

namespace {

class IsoChainTest : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ResetStepListsForTesting();
    int status = -1;
    std::string out = kxdism::Run(std::string(KX_SOURCE_DIR) + "/scripts/make-sample-medium --install-images 2 '" +
                                      machine.Root('E').string() + "' 2>&1",
                                  &status);
    ASSERT_EQ(status, 0) << out;
    fs::create_directories(machine.Root('F') / "iso");

    // What the window writes into the record before it starts the run.
    std::memset(&info, 0, sizeof info);
    SetInfoField(info.szSourcePath, L"E:\\");
    SetInfoField(info.szDriverPath, FromAnsiPath(GetAppDataFolder()) + L"U3");
    SetInfoField(info.szImgDriverPath, platform::GetProgramFolder() + L"OS");
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

TEST_P(IsoChainTest, RunsThroughCopiesAndDriversToTheIsoStep) {
  const bool compatible = GetParam();
  Win7InsCreator creator(&info, &window, kModeIso, compatible);
  EXPECT_EQ(creator.Excute(), 0);
  window.PumpPending();

  const std::string trace = Trace();
  EXPECT_NE(trace.find("ISOOperation Excute"), std::string::npos);
  EXPECT_NE(trace.find("[MakeISOFile::MakeISOThread]- CreateProcess fail:2"), std::string::npos);
  EXPECT_NE(trace.find("[ISOOperation- RunOperate] is fail"), std::string::npos);
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

  // Progress: every copy ends in (3, 100); nothing failed on the way.
  int copiesDone = 0;
  for (auto [state, value] : states) {
    EXPECT_NE(state, kStateCopyFailed);
    if (state == kStateCopySuccess) ++copiesDone;
  }
  EXPECT_EQ(copiesDone, compatible ? 2 : 3);
  int status = -1;
  kxdism::Run("wimlib-imagex verify '" + Work("sources/boot.wim").string() + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(CompatibilityBox, IsoChainTest, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Ticked" : "Unticked"; });
