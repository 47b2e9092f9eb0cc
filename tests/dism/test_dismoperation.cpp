#include "pipeline/dismoperation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "disk/appfolders.h"
#include "disk/tracelog.h"
#include "pipeline/opmessages.h"
#include "platform/clock.h"
#include "platform/fs/copyfile.h"
#include "platform/machine/machine.h"
#include "platform/windows/messagequeuewindow.h"
#include "platform/text.h"
#include "recordingboxes.h"
#include "samplewim.h"
#include "testmachine.h"

namespace fs = std::filesystem;

namespace {

struct Message {
  platform::UINT message;
  platform::WPARAM wParam;
  platform::LPARAM lParam;
};

class DismOperationTest : public testing::Test {
 protected:
  void SetUp() override {
    // The run's OS folder in the data folder, laid out as a run's start lays
    // out the sample packages.
    GetAppDataFolder();
    fs::create_directories(machine.Root('F') / "sources");
    fs::create_directories(Data("OS"));
    fs::copy(fs::path(KX_SOURCE_DIR) / "samples/drivers", Data("OS/AutoUnattend"), fs::copy_options::recursive);
  }

  fs::path Media(const std::string& relative) const { return machine.Root('F') / relative; }
  fs::path Data(const std::string& relative = "") const {
    return machine.Root('C') / "ProgramData" / "Ovanta" / "Kestrunex" / relative;
  }
  static std::wstring DriverPath() { return L"C:\\ProgramData\\Ovanta\\Kestrunex\\U3"; }
  static std::wstring ImageDriverPath() { return L"C:\\ProgramData\\Ovanta\\Kestrunex\\OS"; }

  int Run(DismOperation& op) {
    int result = op.Excute();
    window.PumpPending();
    return result;
  }
  std::vector<std::string> Trace() const {
    std::vector<std::string> lines;
    std::istringstream in(kxtest::ReadHostFile(Data("RAREzodav.log")));
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line.size() > 13 ? line.substr(13) : line);  // drop "hh:mm:ss.mmm "
    }
    return lines;
  }
  std::vector<int> States() const {
    std::vector<int> states;
    for (const auto& m : messages)
      if (m.message == WM_OPSTATE) states.push_back(static_cast<int>(m.wParam));
    return states;
  }
  std::vector<platform::LPARAM> ImageCounts() const {
    std::vector<platform::LPARAM> counts;
    for (const auto& m : messages)
      if (m.message == WM_OPIMAGES) counts.push_back(m.lParam);
    return counts;
  }
  static long Count(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }

  static kxtest::DriveSpec UsbDisk() {
    kxtest::DriveSpec usb;
    usb.letter = 'F';
    usb.type = "removable";
    usb.bus = "usb";
    return usb;
  }

  kxtest::TestMachine machine{{UsbDisk()}};
  kxtest::FakeClock clock{9, 5, 3, 7};
  platform::ScopedClock scopedClock{clock};
  kxdism::RecordingBoxes boxes;
  std::vector<Message> messages;
  platform::MessageQueueWindow window{[this](platform::UINT m, platform::WPARAM w, platform::LPARAM l) {
    messages.push_back({m, w, l});
    return platform::LRESULT{0};
  }};
};

// The states in order with the DISM percentages folded away.
std::vector<int> Folded(const std::vector<int>& states) {
  std::vector<int> folded;
  for (int s : states)
    if (folded.empty() || folded.back() != s) folded.push_back(s);
  return folded;
}

}  // namespace

TEST_F(DismOperationTest, A64BitBootWimOnTheUsbDiskIsServicedInTheDataFolderAndCopiedBack) {
  kxdism::BuildWim(Media("sources/boot.wim"), {{.name = "PE"}, {.name = "Setup", .oemInfs = 2}});
  const std::string image1 = kxdism::DetailedListing(Media("sources/boot.wim"), 1);
  DismOperation op(&window, L"F:\\", DriverPath(), true, false, ImageDriverPath());
  EXPECT_EQ(op.WimPath(), L"F:\\sources\\boot.wim");
  ASSERT_EQ(Run(op), 1) << (boxes.shown.empty() ? "" : platform::AnsiFromWide(boxes.shown[0].text));

  EXPECT_EQ(ImageCounts(), std::vector<platform::LPARAM>{1});
  EXPECT_EQ(Folded(States()), (std::vector<int>{6, 7, 9, 10, 11, 13, 14}));
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_FALSE(fs::exists(Data("boot")));
  EXPECT_TRUE(fs::exists(Data("U3/AMD/x64/Hub/amdhub31.inf")));

  // What the peer tool sees: the drivers in image 2 only, a sound file.
  const std::string listing = kxdism::Listing(Media("sources/boot.wim"), 2);
  for (const char* expected : {"/Windows/INF/oem2.inf", "/Windows/INF/oem9.inf",
                               "/Windows/System32/DriverStore/FileRepository/iusb3xhc.inf_amd64_neutral_",
                               "/Windows/System32/DriverStore/FileRepository/amdhub31.inf_amd64_neutral_",
                               "/Windows/System32/DriverStore/FileRepository/asmtxhci.inf_amd64_neutral_"})
    EXPECT_NE(listing.find(expected), std::string::npos) << expected << "\n" << listing;
  EXPECT_EQ(listing.find("/Windows/INF/oem10.inf"), std::string::npos);
  EXPECT_EQ(kxdism::DetailedListing(Media("sources/boot.wim"), 1), image1);
  int status = -1;
  kxdism::Run("wimlib-imagex verify '" + Media("sources/boot.wim").string() + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);

  const auto trace = Trace();
  const std::vector<std::string> head = {"DismOperation::DismOperation is64dvd:1",
                                         "[DismOperation ] create, mWimPath: F:\\sources\\boot.wim",
                                         "DismOperation::Excute", "DismOperation::Excute - DISMMOUNT",
                                         "DismOperation::Excute - DISMMOUNTOK", "DismOperation::Excute - DISMADDDRIVER",
                                         "DismOperation::Excute - DISMADDDRIVER: m_DriverFolder" +
                                             platform::AnsiFromWide(DriverPath()) + "\\Intel\\USB31\\x64"};
  ASSERT_GE(trace.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(trace.begin(), trace.begin() + head.size()), head);
  EXPECT_EQ(trace.back(), "DismOperation::Excute - DISMUNMOUNTOK");
}

TEST_F(DismOperationTest, DriversAreAddedFolderByFolderWithLowerCaseInfsInSubfoldersFound) {
  kxdism::BuildWim(Media("sources/boot.wim"), {{.name = "PE"}, {.name = "Setup"}});
  DismOperation op(&window, L"F:", DriverPath(), true, false, ImageDriverPath());
  ASSERT_EQ(Run(op), 1);
  std::vector<std::string> added;
  for (const auto& line : Trace())
    if (line.rfind("DismOperation::AddDriver, Path : ", 0) == 0) added.push_back(line.substr(33));
  ASSERT_EQ(added.size(), 8u);
  const std::string u3 = platform::AnsiFromWide(DriverPath());
  auto position = [&](const std::string& tail) {
    return std::find(added.begin(), added.end(), u3 + tail) - added.begin();
  };
  const auto amdHub = position("\\AMD\\x64\\Hub\\amdhub31.inf");
  ASSERT_LT(amdHub, 8);
  for (const char* intel : {"\\Intel\\USB31\\x64\\iusb3xhc.inf", "\\Intel\\USB31\\x64\\Hub\\iusb3hub.inf",
                            "\\Intel\\Win7\\x64\\IUSB3XHC.INF", "\\Intel\\Win7\\x64\\IUSB3HUB.INF"})
    EXPECT_LT(position(intel), amdHub) << intel;
  EXPECT_GT(position("\\Asmedia\\asmtxhci.inf"), amdHub);
}

TEST_F(DismOperationTest, AnInstallWimWithFourImagesIsServicedImageByImage) {
  kxdism::BuildWim(Media("sources/install.wim"),
                   {{.name = "Basic"}, {.name = "Premium"}, {.name = "Professional"}, {.name = "Ultimate"}});
  fs::copy(fs::path(KX_SOURCE_DIR) / "samples/drivers", Data("U3"), fs::copy_options::recursive);
  DismOperation op(&window, L"F:\\", DriverPath(), true, true, ImageDriverPath());
  ASSERT_EQ(Run(op), 1);
  EXPECT_EQ(ImageCounts(), std::vector<platform::LPARAM>{4});
  const auto trace = Trace();
  EXPECT_EQ(Count(trace, "DismOperation::Excute - DISMMOUNTOK"), 4);
  EXPECT_EQ(Count(trace, "DismOperation::Excute - DISMUNMOUNTOK"), 4);
  EXPECT_EQ(Count(trace, "DismOperation::Excute - DISMADDDRIVER: m_DriverFolder"), 20);
  EXPECT_EQ(Count(trace, "DismOperation::AddDriver, Path : "), 32);
  for (int image = 1; image <= 4; ++image) {
    const std::string listing = kxdism::Listing(Media("sources/install.wim"), image);
    EXPECT_NE(listing.find("/Windows/INF/oem7.inf"), std::string::npos) << image;
    EXPECT_EQ(listing.find("/Windows/INF/oem8.inf"), std::string::npos) << image;
  }
  EXPECT_FALSE(fs::exists(Data("U3")));
}

TEST_F(DismOperationTest, A32BitSourceTakesTheX86FoldersAndStillAsmedia) {
  kxdism::BuildWim(Media("sources/boot.wim"), {{.name = "PE", .arch = "x86"}, {.name = "Setup", .arch = "x86"}});
  DismOperation op(&window, L"F:\\", DriverPath(), false, false, ImageDriverPath());
  ASSERT_EQ(Run(op), 1) << (boxes.shown.empty() ? "" : platform::AnsiFromWide(boxes.shown[0].text));
  std::vector<std::string> folders;
  for (const auto& line : Trace())
    if (line.rfind("DismOperation::Excute - DISMADDDRIVER: m_DriverFolder", 0) == 0) folders.push_back(line.substr(53));
  const std::string u3 = platform::AnsiFromWide(DriverPath());
  EXPECT_EQ(folders, (std::vector<std::string>{u3 + "\\Intel\\USB31\\x86", u3 + "\\Intel\\Win7\\x86", u3 + "\\AMD\\x86",
                                               u3 + "\\Asmedia", u3 + "\\Others"}));
  EXPECT_NE(kxdism::Listing(Media("sources/boot.wim"), 2).find("asmtxhci.inf_x86_neutral_"), std::string::npos);
}

TEST_F(DismOperationTest, ABootWimWithoutExactlyTwoImagesOrAMissingWimFailsWithoutAState) {
  DismOperation missing(&window, L"F:\\", DriverPath(), true, true, ImageDriverPath());
  EXPECT_EQ(Run(missing), 0);
  kxdism::BuildWim(Media("sources/boot.wim"), {{.name = "A"}, {.name = "B"}, {.name = "C"}});
  DismOperation three(&window, L"F:\\", DriverPath(), true, false, ImageDriverPath());
  EXPECT_EQ(Run(three), 0);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(DismOperationTest, ABrokenDriverFailsTheStepWithTheDismBoxAfterItsTraceLine) {
  kxdism::BuildWim(Media("sources/install.wim"), {{.name = "Only"}});
  kxdism::WriteDriver(Data("U3/Intel/USB31/x64"), {.name = "good"});
  kxdism::WriteDriver(Data("U3/Intel/Win7/x64"), {.name = "broken", .writeSys = false});
  DismOperation op(&window, L"F:\\", DriverPath(), true, true, ImageDriverPath());
  ASSERT_EQ(Run(op), 0);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text.rfind(L"DismAddDriver   failed 0x80070002 : ", 0), 0u);
  const std::string broken = platform::AnsiFromWide(DriverPath()) + "\\Intel\\Win7\\x64\\broken.inf";
  EXPECT_EQ(Trace().back(), "DismOperation::AddDriver, Path : " + broken);
  EXPECT_EQ(Folded(States()), (std::vector<int>{6, 7, 9}));
}

TEST_F(DismOperationTest, ProgressPostsThePercentageOfTheCurrentState) {
  DismOperation op(&window, L"F:\\", DriverPath(), true, true, ImageDriverPath());
  DismOperation::OnDismProgress(50, 200, &op);
  DismOperation::OnDismProgress(5, 0, &op);
  window.PumpPending();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, WM_OPSTATE);
  EXPECT_EQ(messages[0].wParam, 6u);
  EXPECT_EQ(messages[0].lParam, 25);
}

TEST_F(DismOperationTest, TheGeneratedSampleMediumIsServicedLikeADvdCopy) {
  const fs::path medium = Media("");
  fs::remove_all(Media("sources"));
  int status = -1;
  const std::string output = kxdism::Run(std::string(KX_SOURCE_DIR) + "/scripts/make-sample-medium --install-images 2 '" +
                                             medium.string() + "' 2>&1",
                                         &status);
  ASSERT_EQ(status, 0) << output;
  for (const char* file : {"autorun.inf", "bootmgr", "setup.exe", "boot/etfsboot.com", "efi/microsoft/boot/efisys.bin",
                           "sources/idwbinfo.txt", "sources/boot.wim", "sources/install.wim"})
    EXPECT_TRUE(fs::exists(Media(file))) << file;
  EXPECT_EQ(fs::file_size(Media("boot/etfsboot.com")), 2048u);
  const std::string image1 = kxdism::DetailedListing(Media("sources/install.wim"), 1);

  fs::copy(fs::path(KX_SOURCE_DIR) / "samples/drivers", Data("U3"), fs::copy_options::recursive);
  DismOperation op(&window, L"F:\\", DriverPath(), true, true, ImageDriverPath());
  ASSERT_EQ(Run(op), 1);
  DismOperation boot(&window, L"F:\\", DriverPath(), true, false, ImageDriverPath());
  ASSERT_EQ(Run(boot), 1);
  // The Setup image already had oem0.inf and oem1.inf.
  EXPECT_NE(kxdism::Listing(Media("sources/boot.wim"), 2).find("/Windows/INF/oem9.inf"), std::string::npos);
  EXPECT_EQ(kxdism::Listing(Media("sources/boot.wim"), 1).find("/Windows/INF/oem0.inf"), std::string::npos);
  EXPECT_NE(kxdism::Listing(Media("sources/install.wim"), 2).find("/Windows/INF/oem7.inf"), std::string::npos);
  EXPECT_NE(kxdism::DetailedListing(Media("sources/install.wim"), 1), image1);
  kxdism::Run("wimlib-imagex verify '" + Media("sources/install.wim").string() + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);
}

TEST_F(DismOperationTest, AnInstallWimWithoutReadableImagesServicesNothingAndSucceeds) {
  std::ofstream(Media("sources/install.wim")) << "not an image file";
  fs::copy(fs::path(KX_SOURCE_DIR) / "samples/drivers", Data("U3"), fs::copy_options::recursive);
  DismOperation op(&window, L"F:\\", DriverPath(), true, true, ImageDriverPath());
  EXPECT_EQ(Run(op), 1);
  // The wrapper showed the failure; the window is told there are no images.
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text.rfind(L"DismGetImageInfo failed ", 0), 0u);
  EXPECT_EQ(ImageCounts(), std::vector<platform::LPARAM>{0});
  EXPECT_TRUE(States().empty());
  EXPECT_EQ(Count(Trace(), "DismOperation::Excute - DISMMOUNT"), 0);
  EXPECT_FALSE(fs::exists(Data("U3")));
}

TEST_F(DismOperationTest, TheImageCountReachesTheWindowBeforeTheFirstState) {
  kxdism::BuildWim(Media("sources/boot.wim"), {{.name = "PE"}, {.name = "Setup"}});
  DismOperation op(&window, L"F:\\", DriverPath(), true, false, ImageDriverPath());
  // The worker runs on its own thread, as in a run, so the window handles
  // sent and posted messages in the order they were issued.
  std::atomic<bool> done{false};
  int result = 0;
  std::thread worker([&] {
    result = op.Excute();
    // Set on the window's thread, so that the pump wakes up for it.
    window.Synchronize([&] { done = true; });
  });
  const bool finished = window.PumpUntil([&] { return done.load(); }, std::chrono::minutes(2));
  worker.join();
  window.PumpPending();
  ASSERT_TRUE(finished);
  ASSERT_EQ(result, 1);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0].message, WM_OPIMAGES);
  EXPECT_EQ(messages[0].lParam, 1);
  EXPECT_EQ(ImageCounts().size(), 1u);
  EXPECT_EQ(messages.back().message, WM_OPSTATE);
  EXPECT_EQ(messages.back().wParam, 14u);
}

TEST_F(DismOperationTest, AFailedCopyBackFailsTheStepAndKeepsTheServicedWorkingCopy) {
  kxdism::BuildWim(Media("sources/boot.wim"), {{.name = "PE"}, {.name = "Setup"}});
  // The medium fills up just as the serviced boot.wim is copied back.
  platform::copyfault::ScopedHook full([&](const platform::copyfault::Event& e) {
    const bool copyBack = e.point == platform::copyfault::Point::kOpenSource &&
                          fs::path(e.sourceHost).parent_path().filename() == "boot" &&
                          e.targetHost.rfind(Media("sources").string(), 0) == 0;
    return copyBack ? ENOSPC : 0;
  });
  DismOperation op(&window, L"F:\\", DriverPath(), true, false, ImageDriverPath());
  EXPECT_EQ(Run(op), 0);
  EXPECT_EQ(Trace().back(), "DismOperation::Excute - copy back failed: F:\\sources\\");
  EXPECT_FALSE(fs::exists(Media("sources/boot.wim")));
  // All images were serviced before the copy failed; the serviced file waits in "boot".
  EXPECT_EQ(Folded(States()), (std::vector<int>{6, 7, 9, 10, 11, 13, 14}));
  ASSERT_TRUE(fs::exists(Data("boot/boot.wim")));
  EXPECT_NE(kxdism::Listing(Data("boot/boot.wim"), 2).find("/Windows/INF/oem0.inf"), std::string::npos);
}
