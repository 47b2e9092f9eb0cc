#include "dism/dismimgmanager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/text.h"
#include "recordingboxes.h"
#include "samplewim.h"
#include "testmachine.h"

namespace fs = std::filesystem;
using DismCpp::DismImgManager;

namespace {

class DismImgManagerTest : public testing::Test {
 protected:
  void SetUp() override { fs::create_directories(Host("work")); }
  fs::path Host(const std::string& relative) const { return machine.Root('C') / relative; }
  std::wstring Mountable(const std::string& name) {
    fs::create_directories(Host("mnt/" + name));
    return L"C:\\mnt\\" + platform::WideFromAnsi(name);
  }
  std::wstring Driver(const std::string& name, kxdism::DriverSpec spec = {}) {
    spec.name = name;
    kxdism::WriteDriver(Host("drv/" + name), spec);
    return L"C:\\drv\\" + platform::WideFromAnsi(name) + L"\\" + platform::WideFromAnsi(name) + L".inf";
  }

  kxtest::TestMachine machine;
  kxdism::RecordingBoxes boxes;
};

bool StartsWith(const std::wstring& text, const std::wstring& prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

TEST_F(DismImgManagerTest, AWimThatCannotBeReadGivesZeroAfterOneBox) {
  std::ofstream(Host("work/boot.wim")) << "not an image";
  DismImgManager manager(L"C:\\log.txt");
  manager.SetImagePath(L"C:\\work\\boot.wim");
  EXPECT_EQ(manager.GetImageCount(), 0u);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_TRUE(StartsWith(boxes.shown[0].text, L"DismGetImageInfo failed 0x8007000b : The image file 'C:\\work\\boot.wim'"))
      << platform::AnsiFromWide(boxes.shown[0].text);
  EXPECT_EQ(boxes.shown[0].text.substr(boxes.shown[0].text.size() - 2), L"  ");
  EXPECT_EQ(boxes.shown[0].caption, L"DismCpp");
  EXPECT_EQ(boxes.shown[0].type, platform::MB_OK);
}

TEST_F(DismImgManagerTest, ReleaseAcceptsNullAndRefusesWhatTheInterfaceDidNotAllocate) {
  DismImgManager manager(L"C:\\log.txt");
  EXPECT_TRUE(manager.Release(nullptr));
  int foreign = 0;
  EXPECT_FALSE(manager.Release(&foreign));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(DismImgManagerTest, AFailedInitialisationThrowsWithoutABox) {
  ASSERT_EQ(platform::DismInitialize(platform::DismLogErrors, nullptr, nullptr), platform::S_OK);
  try {
    DismImgManager manager(L"C:\\log.txt");
    ADD_FAILURE() << "no exception";
  } catch (const DismCpp::DismInitError& e) {
    EXPECT_STREQ(e.what(), "Unable to DismInitialize");
  }
  EXPECT_TRUE(boxes.shown.empty());
  static_cast<void>(platform::DismShutdown());  // whatever the manager left running goes
}

TEST_F(DismImgManagerTest, ReportsAreCutTo259Characters) {
  DismImgManager manager(L"C:\\log.txt");
  manager.SetImagePath(L"C:\\work\\" + std::wstring(300, L'x') + L".wim");
  EXPECT_EQ(manager.GetImageCount(), 0u);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text.size(), 259u);
  EXPECT_TRUE(StartsWith(boxes.shown[0].text, L"DismGetImageInfo failed 0x8007"));
}

TEST_F(DismImgManagerTest, FailedCallsAreReportedUnderTheirNames) {
  kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE"}, {.name = "Setup"}});
  DismImgManager manager(L"C:\\log.txt");
  manager.SetImagePath(L"C:\\work\\boot.wim");
  EXPECT_FALSE(manager.Mount(Mountable("a"), false, 5, nullptr, nullptr));
  ASSERT_TRUE(manager.Mount(Mountable("b"), false, 2, nullptr, nullptr));
  const std::wstring bad = Driver("broken", {.writeSys = false});
  EXPECT_FALSE(manager.AddDriver(bad));
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_TRUE(StartsWith(boxes.shown[0].text, L"DismMountImage failed 0xc0040005 : "));
  EXPECT_TRUE(StartsWith(boxes.shown[1].text, L"DismAddDriver   failed 0x80070002 : The driver package '" + bad));
}

TEST_F(DismImgManagerTest, UnmountAfterAReadWriteMountCommitsAndAfterAReadOnlyMountDiscards) {
  kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE"}, {.name = "Setup", .oemInfs = 1}});
  DismImgManager manager(L"C:\\log.txt");
  manager.SetImagePath(L"C:\\work\\boot.wim");
  ASSERT_TRUE(manager.Mount(Mountable("rw"), false, 2, nullptr, nullptr));
  EXPECT_FALSE(manager.ReadOnly());
  ASSERT_TRUE(manager.AddDriver(Driver("usbx")));
  // Straight to unmount, without a commit: the changes are saved.
  ASSERT_TRUE(manager.Unmount(nullptr, nullptr));
  EXPECT_NE(kxdism::Listing(Host("work/boot.wim"), 2).find("/Windows/INF/oem1.inf"), std::string::npos);

  const std::string bytes = kxtest::ReadHostFile(Host("work/boot.wim"));
  ASSERT_TRUE(manager.Mount(Mountable("ro"), true, 1, nullptr, nullptr));
  EXPECT_TRUE(manager.ReadOnly());
  std::ofstream(Host("mnt/ro/Windows/extra.txt")) << "left behind";
  ASSERT_TRUE(manager.Unmount(nullptr, nullptr));
  EXPECT_EQ(kxtest::ReadHostFile(Host("work/boot.wim")), bytes);
  EXPECT_TRUE(fs::is_empty(Host("mnt/ro")));
  EXPECT_TRUE(boxes.shown.empty());
}
