#include "dism/dismmanager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "disk/appfolders.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "recordingboxes.h"
#include "samplewim.h"
#include "testmachine.h"

namespace fs = std::filesystem;

namespace {

class DismManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    GetAppDataFolder();
    kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE"}, {.name = "Setup", .oemInfs = 2}});
  }
  fs::path Host(const std::string& relative) const { return machine.Root('C') / relative; }
  fs::path Data(const std::string& relative = "") const {
    return machine.Root('C') / "ProgramData" / "Ovanta" / "Kestrunex" / relative;
  }
  std::wstring Driver(const std::string& name) {
    kxdism::WriteDriver(Host("drv/" + name), {.name = name});
    return L"C:\\drv\\" + platform::WideFromAnsi(name) + L"\\" + platform::WideFromAnsi(name) + L".inf";
  }

  kxtest::TestMachine machine;
  kxtest::FakeClock clock{9, 5, 3, 7};
  platform::ScopedClock scopedClock{clock};
  kxdism::RecordingBoxes boxes;
};

}  // namespace

TEST_F(DismManagerTest, ServicesOneImageFromMountToUnmount) {
  DismManager manager;
  EXPECT_EQ(manager.SetImagePath(L"C:\\work\\boot.wim"), 1);
  EXPECT_EQ(manager.GetImageCount(), 2);
  ASSERT_EQ(manager.Mount(2, nullptr, nullptr), 1);
  EXPECT_EQ(manager.MountFolder(), L"C:\\ProgramData\\Ovanta\\Kestrunex\\953\\");
  EXPECT_TRUE(fs::is_directory(Data("953/Windows")));
  ASSERT_EQ(manager.AddDriver(Driver("usbx")), 1);
  ASSERT_EQ(manager.Commit(nullptr, nullptr), 1);
  ASSERT_EQ(manager.Unmount(nullptr, nullptr), 1);
  EXPECT_FALSE(fs::exists(Data("953")));
  EXPECT_NE(kxdism::Listing(Host("work/boot.wim"), 2).find("/Windows/INF/oem2.inf"), std::string::npos);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_NE(kxtest::ReadHostFile(Data("log.txt")).find("DismCommitImage"), std::string::npos);
}

TEST_F(DismManagerTest, TwoMountsWithinOneSecondTakeTwoFolders) {
  DismManager manager;
  manager.SetImagePath(L"C:\\work\\boot.wim");
  ASSERT_EQ(manager.Mount(1, nullptr, nullptr), 1);
  EXPECT_EQ(manager.MountFolder(), L"C:\\ProgramData\\Ovanta\\Kestrunex\\953\\");
  ASSERT_EQ(manager.Mount(2, nullptr, nullptr), 1);
  EXPECT_EQ(manager.MountFolder(), L"C:\\ProgramData\\Ovanta\\Kestrunex\\954\\");
  EXPECT_EQ(clock.sleptMs(), 1000u);
  // The first mount was left behind: the second mount's sweep removed it.
  EXPECT_FALSE(fs::exists(Data("953")));
  clock.Set(14, 30, 15, 0);
  ASSERT_EQ(manager.Unmount(nullptr, nullptr), 1);
  ASSERT_EQ(manager.Mount(1, nullptr, nullptr), 1);
  EXPECT_EQ(manager.MountFolder(), L"C:\\ProgramData\\Ovanta\\Kestrunex\\143015\\");
}

TEST_F(DismManagerTest, LeftoversOfAnAbortedRunAreDiscardedAndDeletedWhileTheDriverFolderStays) {
  // An aborted run: image 2 mounted in "953" with a staged driver, never unmounted.
  const std::string before = kxdism::DetailedListing(Host("work/boot.wim"), 2);
  {
    DismManager aborted;
    aborted.SetImagePath(L"C:\\work\\boot.wim");
    ASSERT_EQ(aborted.Mount(2, nullptr, nullptr), 1);
    ASSERT_EQ(aborted.AddDriver(Driver("usbx")), 1);
  }
  fs::create_directories(Data("U3/Intel/Win7/x64"));
  std::ofstream(Data("U3/Intel/Win7/x64/a.inf")) << "[Version]";
  fs::create_directories(Data("boot"));
  // The work folder of an ISO run holds a copied DVD, "Windows" folder included.
  fs::create_directories(Data("OvantaToolTmp/Windows"));
  fs::create_directories(Data("12ab/Windows"));
  clock.Set(10, 0, 0, 0);
  DismManager manager;
  manager.SetImagePath(L"C:\\work\\boot.wim");
  ASSERT_EQ(manager.Mount(2, nullptr, nullptr), 1);
  EXPECT_FALSE(fs::exists(Data("953")));
  EXPECT_TRUE(fs::exists(Data("U3/Intel/Win7/x64/a.inf")));
  EXPECT_TRUE(fs::exists(Data("boot")));
  EXPECT_TRUE(fs::exists(Data("OvantaToolTmp/Windows")));
  EXPECT_TRUE(fs::exists(Data("12ab/Windows")));
  EXPECT_EQ(manager.MountFolder(), L"C:\\ProgramData\\Ovanta\\Kestrunex\\1000\\");
  ASSERT_EQ(manager.Unmount(nullptr, nullptr), 1);
  // Discarded: the image is as it was.
  EXPECT_EQ(kxdism::DetailedListing(Host("work/boot.wim"), 2), before);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(DismManagerTest, AnAbortedRunsMountThatTurnedInvalidLeavesNoFolderBehind) {
  {
    DismManager aborted;
    aborted.SetImagePath(L"C:\\work\\boot.wim");
    ASSERT_EQ(aborted.Mount(2, nullptr, nullptr), 1);
    ASSERT_EQ(aborted.AddDriver(Driver("usbx")), 1);
  }
  // The next run brings a fresh boot.wim: the old mount no longer matches it.
  kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE"}, {.name = "Setup", .oemInfs = 1}});
  clock.Set(10, 0, 0, 0);
  DismManager manager;
  manager.SetImagePath(L"C:\\work\\boot.wim");
  ASSERT_EQ(manager.Mount(2, nullptr, nullptr), 1);
  EXPECT_FALSE(fs::exists(Data("953")));
  ASSERT_EQ(manager.Unmount(nullptr, nullptr), 1);
  EXPECT_FALSE(fs::exists(Data("1000")));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(DismManagerTest, MountGivesUpWithABoxWhenNoFolderNameIsFree) {
  for (int s = 3; s < 3 + DismManager::kMountFolderAttempts; ++s)
    std::ofstream(Data("95" + std::to_string(s))) << "taken";
  DismManager manager;
  manager.SetImagePath(L"C:\\work\\boot.wim");
  EXPECT_EQ(manager.Mount(2, nullptr, nullptr), 0);
  EXPECT_EQ(clock.sleptMs(), 1000u * (DismManager::kMountFolderAttempts - 1));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, L"DismCpp");
  EXPECT_EQ(boxes.shown[0].text.rfind(L"MakeMountFolder failed", 0), 0u);
}
