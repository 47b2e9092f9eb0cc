// The checks behind the source and target pages: which drives are offered,
// the size of the source against the USB stick and the ISO folder's volume,
// the compatibility box for an Embedded source, the device behind an entry.

#include <atomic>
#include <fstream>
#include <condition_variable>
#include <mutex>

#include <cstdlib>
#include <fstream>

#include "app/imageargument.h"
#include "app/parsecapacity.h"
#include "platform/text.h"
#include "app/thddvdsize.h"
#include "config/checkboxes.h"
#include "config/ovmultilangdll.h"
#include "wizardtest.h"
#include "casename.h"

namespace wiztest {
namespace {

using Checks = WizardTest;

constexpr int kSourceMB = 4000;

// A 4,000 MiB source against a stick and a folder on the 4,500 MiB line: the
// USB test is >=, the ISO test strictly > (both sides of the line are the
// job set-up's unit tests; here the page's reaction to each verdict).
struct SpaceCase {
  const char* name;
  int mode;
  std::uint64_t targetMB;  // stick's total size, or the ISO drive's free space
  bool nextEnabled;
  const wchar_t* messageKey;  // the simple message shown, or null
};

class SpaceLine : public WizardTest, public ::testing::WithParamInterface<SpaceCase> {};

TEST_P(SpaceLine, NextFollowsTheSourceSizePlusFiveHundred) {
  const SpaceCase& c = GetParam();
  auto drives = DefaultDrives();
  drives[1].totalMb = c.targetMB;
  drives[2].freeMb = c.targetMB;
  Start(drives);
  Main().SetDvdMeasure([](const std::wstring&) { return kSourceMB; });
  OpenMainWindow(c.mode);
  ASSERT_EQ(Main().DvdSizeMB(), kSourceMB);
  NextPage();
  if (c.mode == 1) BrowseTo(Machine().Root('G') / "iso");
  EXPECT_EQ(ui().m_pNext->isEnabled(), c.nextEnabled);
  const auto seen = Boxes().Seen();
  if (c.messageKey) {
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].simple);
    EXPECT_EQ(seen[0].text, Translate(c.messageKey));
    EXPECT_EQ(seen[0].caption, L"Kestrunex");
    EXPECT_TRUE(ui().EdtISOPathdst->text().isEmpty());
  } else {
    EXPECT_TRUE(seen.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SpaceLine,
    ::testing::Values(SpaceCase{"StickOfExactly4500", 0, 4500, true, nullptr},
                      SpaceCase{"IsoDriveWithExactly4500Free", 1, 4500, false, L"Disk too small"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Checks, AnIsoFolderOffNtfsIsRefusedAndACancelledPickerKeepsTheField) {
  auto drives = DefaultDrives();
  drives[2].fileSystem = "FAT32";
  Start(drives);
  OpenMainWindow(1);
  NextPage();
  BrowseTo(Machine().Root('G') / "iso");
  auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, Translate(L"Not NTFS"));
  EXPECT_TRUE(ui().EdtISOPathdst->text().isEmpty());
  EXPECT_FALSE(ui().m_pNext->isEnabled());

  // A folder on C: is fine; a later cancelled picker leaves it in the field.
  BrowseTo(Machine().Root('C') / "images");
  EXPECT_EQ(ui().EdtISOPathdst->text().toStdWString(), L"C:\\images\\");
  EXPECT_TRUE(ui().m_pNext->isEnabled());
  Main().SetFolderPicker([](const QString& title) {
    EXPECT_EQ(title, "Please Select Folder:");
    return QString();
  });
  ASSERT_TRUE(Click(ui().m_pBrowseFolder));
  EXPECT_EQ(ui().EdtISOPathdst->text().toStdWString(), L"C:\\images\\");
  EXPECT_FALSE(ui().m_pNext->isEnabled());
}

TEST_F(Checks, AFolderOutsideEveryDriveBecomesAPathOnTheHostRootDrive) {
  OpenMainWindow(1);
  NextPage();
  Main().SetFolderPicker([](const QString&) { return QString("/"); });
  ASSERT_TRUE(Click(ui().m_pBrowseFolder));
  EXPECT_EQ(Main().TargetPath().substr(0, 3), L"Z:\\");
}

TEST_F(Checks, AnEmbeddedSourceForcesAndGreysCompatibilityModeAlsoInUsbMode) {
  Machine().WriteFile('E', "sources/product.ini", "[SKU]\r\ntype = Embedded\r\n");
  OpenMainWindow(0);
  EXPECT_TRUE(ui().CheckBox_USBODD->isChecked());
  EXPECT_FALSE(ui().CheckBox_USBODD->isEnabled());
  ASSERT_TRUE(Click(ui().m_pBack));
  std::filesystem::remove(Machine().Root('E') / "sources/product.ini");
  OpenMainWindow(1);
  EXPECT_FALSE(ui().CheckBox_USBODD->isChecked());
  EXPECT_TRUE(ui().CheckBox_USBODD->isEnabled());
}

TEST_F(Checks, WithoutAnOpticalDriveTheListAsksForADvdAndNextStaysOff) {
  Start({DefaultDrives()[1]});
  OpenMainWindow(0);
  EXPECT_EQ(ui().cmbDVDlist->count(), 1);
  EXPECT_EQ(ui().cmbDVDlist->itemText(0), "Please insert a DVD-ROM.");
  EXPECT_EQ(ui().cmbDVDlist->currentIndex(), -1);
  EXPECT_TRUE(Main().SourcePath().empty());
  EXPECT_EQ(Main().DvdSizeMB(), 0);
  EXPECT_FALSE(ui().m_pNext->isEnabled());
}

// `kestrunex win7.iso`: the image is listed beside the real drives, at the
// first free letter from D:, and measured like a disc; an unreadable image
// is named in a message box and adds nothing.
TEST_F(Checks, AnImageNamedOnTheCommandLineIsListedAsAnOpticalDrive) {
  Start({DefaultDrives()[1], DefaultDrives()[2]});
  kxtest::TempDir dir;
  std::filesystem::create_directories(dir.path() / "tree" / "sources");
  std::ofstream(dir.path() / "tree" / "sources" / "install.wim") << std::string(3u << 20, 'w');
  const std::string iso = (dir.path() / "win7.iso").string(), bad = (dir.path() / "bad.iso").string();
  ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -J -V IMAGE_DVD -o '" + iso + "' '" + (dir.path() / "tree").string() +
                         "' >/dev/null 2>&1").c_str()),
            0);
  std::ofstream(bad) << std::string(100000, 'x');
  std::string args[] = {"kestrunex", "-platform", "offscreen", bad, iso};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data()};
  EXPECT_EQ(ImageArgument(4, argv), bad);
  EXPECT_EQ(ImageArgument(3, argv), "");

  AddImageArgumentDrive(ImageArgument(4, argv));
  const auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].text.find(platform::WideFromAnsi(bad)), std::wstring::npos);
  AddImageArgumentDrive(ImageArgument(5, argv));
  OpenMainWindow(1);
  ASSERT_EQ(ui().cmbDVDlist->count(), 1);
  EXPECT_TRUE(ui().cmbDVDlist->currentText().startsWith("D:\\"));
  EXPECT_EQ(Main().DvdSizeMB(), 3);
}

// "Open an ISO image" on a machine without an optical drive: a file that is
// no disc image is named in a box and adds nothing; a disc image becomes a
// drive whose entry names the file, chosen and measured, and Next goes on
// from it. Opening the same file again adds no second drive.
TEST_F(Checks, AnImageOpenedOnTheSourcePageBecomesTheChosenDrive) {
  Start({DefaultDrives()[1], DefaultDrives()[2]});
  kxtest::TempDir dir;
  const std::string iso = (dir.path() / "win7 sp1.iso").string(), bad = (dir.path() / "notes.iso").string();
  ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -iso-level 3 -J -joliet-long -V GRMCULFRER_EN_DVD -o '" + iso +
                         "' '" + SampleMedium().string() + "' >/dev/null 2>&1").c_str()),
            0);
  std::ofstream(bad) << std::string(100000, 'x');
  OpenMainWindow(0);
  ASSERT_EQ(ui().cmbDVDlist->currentIndex(), -1);
  std::string picked = bad;
  Main().SetImagePicker([&picked](const QString&) { return QString::fromStdString(picked); });

  ASSERT_TRUE(Click(ui().btnOpenImage));
  const auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].text.find(platform::WideFromAnsi(bad)), std::wstring::npos);
  EXPECT_EQ(ui().cmbDVDlist->itemText(0), "Please insert a DVD-ROM.");
  EXPECT_FALSE(ui().m_pNext->isEnabled());

  picked = iso;
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(Click(ui().btnOpenImage));
    WaitForSourceSize();
    ASSERT_EQ(ui().cmbDVDlist->count(), 1);
    EXPECT_EQ(ui().cmbDVDlist->currentText().toStdWString(), L"D:\\ ( GRMCULFRER_EN_DVD ) win7 sp1.iso");
  }
  EXPECT_EQ(Main().SourcePath(), L"D:\\");
  EXPECT_GT(Main().DvdSizeMB(), 0);
  EXPECT_EQ(Boxes().Seen().size(), 1u);
  NextPage();
  EXPECT_EQ(Main().CurPage(), 1);
  EXPECT_TRUE(ui().panSelectUsb->isVisible());
}

TEST_F(Checks, ADriveWithoutDiscShowsZeroAndASecondDriveIsMeasuredWhenChosen) {
  auto drives = DefaultDrives();
  drives.push_back({.letter = 'D', .type = "cdrom", .ready = false});
  Start(drives);
  OpenMainWindow(0);
  ASSERT_EQ(ui().cmbDVDlist->count(), 2);
  EXPECT_EQ(ui().cmbDVDlist->currentText(), "D:\\");
  EXPECT_EQ(Main().DvdSizeMB(), 0);
  EXPECT_EQ(ui().lblWait->text().toStdWString(), Translate(L"Capacity") + L"0 MB");
  EXPECT_FALSE(ui().m_pNext->isEnabled());

  ui().cmbDVDlist->setCurrentIndex(1);
  Main().cmbDVDlistChange();
  WaitForSourceSize();
  EXPECT_EQ(Main().SourcePath(), L"E:\\");  // the bare root, not the entry text
  EXPECT_GT(Main().DvdSizeMB(), 0);
  EXPECT_TRUE(ui().m_pNext->isEnabled());
}

TEST_F(Checks, UsbEntriesNameTheirDeviceAndOnlyUsbVolumesAreOffered) {
  auto drives = DefaultDrives();
  drives.push_back({.letter = 'H', .type = "fixed", .bus = "usb", .fileSystem = "NTFS", .totalMb = 500000});
  drives.push_back({.letter = 'I', .type = "removable", .bus = "usb", .ready = false});
  drives.push_back({.letter = 'J', .type = "removable", .bus = "sd", .totalMb = 2000});
  Start(drives);
  OpenMainWindow(0);
  NextPage();
  ASSERT_EQ(ui().cmbUsbList->count(), 3);
  const std::wstring capacity = Translate(L"Capacity");
  EXPECT_EQ(ui().cmbUsbList->itemText(0).toStdWString(), L"F:\\ (" + capacity + L" 7600 MB )");
  EXPECT_EQ(ui().cmbUsbList->itemText(1).toStdWString(), L"H:\\ (" + capacity + L" 500000 MB )");
  EXPECT_EQ(ui().cmbUsbList->itemText(2).toStdWString(), L"I:\\");
  const QString tip = ui().cmbUsbList->itemData(0, Qt::ToolTipRole).toString();
  EXPECT_TRUE(tip.contains("STICK")) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QString::fromStdWString(Translate(L"Disk") + L" 1, 7600 MB"))) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QString::fromStdString(Machine().Root('F').string()))) << tip.toStdString();
  EXPECT_EQ(ui().cmbUsbList->toolTip(), tip);

  // The unanswering volume keeps Next off; the others pass.
  ui().cmbUsbList->setCurrentIndex(2);
  Main().cmbUsbListChange();
  EXPECT_EQ(Main().UsbSizeMB(), 0);
  EXPECT_FALSE(ui().m_pNext->isEnabled());
  ui().cmbUsbList->setCurrentIndex(1);
  Main().cmbUsbListChange();
  EXPECT_EQ(Main().UsbSizeMB(), 500000);
  EXPECT_TRUE(ui().m_pNext->isEnabled());
}

TEST_F(Checks, NoUsbDiskShowsTheInsertNoteAndRefreshFindsOneInsertedLater) {
  Start({DefaultDrives()[0]});
  OpenMainWindow(0);
  NextPage();
  ASSERT_EQ(ui().cmbUsbList->count(), 1);
  EXPECT_EQ(ui().cmbUsbList->currentText().toStdWString(), Translate(L"USB Step2 Insert Note"));
  EXPECT_TRUE(Main().TargetPath().empty());
  EXPECT_FALSE(ui().m_pNext->isEnabled());

  platform::DriveDecl stick;
  stick.letter = L'K';
  stick.hostFolder = Machine().dir().str();
  stick.driveType = platform::DRIVE_REMOVABLE;
  stick.busType = platform::BusTypeUsb;
  stick.totalBytes = 8000ull * 1048576;
  platform::CurrentMachine().AddDrive(stick);
  ASSERT_TRUE(Click(ui().m_pRefresh));
  EXPECT_EQ(Main().UsbSizeMB(), 8000);
  EXPECT_TRUE(ui().m_pNext->isEnabled());
}

struct CapacityCase {
  const char* name;
  const wchar_t* text;
  std::int64_t expected;
};

class CapacityText : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(CapacityText, IsTheNumberBetweenTheWordAndTheUnit) {
  EXPECT_EQ(ParseCapacity(GetParam().text, L"Capacity: "), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, CapacityText,
    ::testing::Values(CapacityCase{"DriveEntry", L"F:\\ (Capacity:  7600 MB )", 7600},
                      CapacityCase{"LetterOnly", L"F:\\", 0},
                      CapacityCase{"InsertText", L"Please insert a USB disk.", 0},
                      CapacityCase{"NoNumber", L"F:\\ (Capacity: MB )", 0},
                      CapacityCase{"UnitBeforeWord", L"MB ) F:\\ (Capacity: 12 ", 0},
                      CapacityCase{"FirstUnitCounts", L"(Capacity: 12 MB ) MB )", 12},
                      CapacityCase{"Negative", L"(Capacity: -5 MB )", 0},
                      CapacityCase{"LetterInNumber", L"(Capacity: 1x2 MB )", 0},
                      CapacityCase{"Overflow", L"(Capacity: 99999999999999999999 MB )", 0},
                      CapacityCase{"Tabs", L"(Capacity: \t3000000 \tMB )", 3000000}),
    kxtest::ByName());

TEST(DvdSizeThread, OnlyTheLatestRequestsSizeIsPublished) {
  std::mutex lock;
  std::condition_variable changed;
  bool releaseFirst = false;
  std::atomic<int> started{0};
  ThdDvdSize thread(nullptr);
  thread.SetMeasure([&](const std::wstring& root) {
    ++started;
    if (root == L"D:\\") {
      std::unique_lock<std::mutex> guard(lock);
      changed.wait(guard, [&] { return releaseFirst; });
      return 111;
    }
    return 222;
  });
  thread.Request(L"D:\\");
  while (started == 0) std::this_thread::yield();
  thread.Request(L"E:\\");  // while D: is still being read
  {
    std::lock_guard<std::mutex> guard(lock);
    releaseFirst = true;
  }
  changed.notify_all();
  for (int i = 0; i < 2000 && !thread.SizeReady(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(thread.SizeReady());
  EXPECT_EQ(thread.DvdSizeMB(), 222);
  EXPECT_EQ(started, 2) << "each request measured once";

  thread.Request(L"E:\\");
  for (int i = 0; i < 2000 && !thread.SizeReady(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(started, 3);
}

TEST_F(Checks, ASourceThatIsNoWindows7MediumIsRefusedOnNextAndThePageStays) {
  std::filesystem::remove(Machine().Root('E') / "bootmgr");
  std::ofstream(Machine().Root('E') / "sources/install.wim", std::ios::trunc) << "a live disc's squashfs";
  OpenMainWindow(0);
  NextPage();
  const auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, Translate(L"Not Windows 7 medium") + L"\nbootmgr: " + Translate(L"Medium file missing") +
                              L"\nsources\\install.wim: " + Translate(L"Medium file not WIM"));
  EXPECT_EQ(seen[0].caption, Translate(L"Error"));
  EXPECT_TRUE(ui().panSelectDVD->isVisible());
  EXPECT_FALSE(ui().panSelectUsb->isVisible());
}

TEST_F(Checks, AnInstallWimOfWindows10IsRefusedOnTheSourcePage) {
  const std::filesystem::path tree = Machine().dir().path() / "win10tree";
  std::filesystem::create_directories(tree);
  std::ofstream(tree / "file.txt") << "x";
  const std::string wim = (Machine().Root('E') / "sources/install.wim").string();
  std::filesystem::remove(wim);
  ASSERT_EQ(std::system(("wimlib-imagex capture '" + tree.string() + "' '" + wim +
                         "' 'Windows 10 Pro' --compress=none >/dev/null && wimlib-imagex info '" + wim +
                         "' 1 --image-property WINDOWS/VERSION/MAJOR=10 --image-property WINDOWS/VERSION/MINOR=0"
                         " --image-property WINDOWS/VERSION/BUILD=19041 >/dev/null")
                            .c_str()),
            0);
  OpenMainWindow(0);
  NextPage();
  const auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, Translate(L"Not Windows 7 medium") + L"\nsources\\install.wim: " +
                              FillIn(Translate(L"Medium other Windows"), L"Windows 10 Pro (10.0.19041)"));
  EXPECT_TRUE(ui().panSelectDVD->isVisible());
}

TEST_F(Checks, AnIsoFolderInsideTheWorkFolderIsRefused) {
  OpenMainWindow(1);
  NextPage();
  BrowseTo(Machine().Root('C') / "ProgramData/Ovanta/Kestrunex/OvantaToolTmp/iso");
  const auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, Translate(L"ISO folder in work folder"));
  EXPECT_TRUE(ui().EdtISOPathdst->text().isEmpty());
  EXPECT_FALSE(ui().m_pNext->isEnabled());
}

}  // namespace
}  // namespace wiztest
