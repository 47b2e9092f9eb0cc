// Whole runs from clicks with the real steps on the sample medium.


#include <QProgressBar>

#include <chrono>
#include <cstring>
#include <thread>

#include <unistd.h>

#include "config/checkboxes.h"
#include "config/ovmultilangdll.h"
#include "pipeline/jobchecks.h"
#include "platform/fs/paths.h"
#include "platform/text.h"
#include "wizardtest.h"

namespace wiztest {
namespace {

using FullRuns = WizardTest;

// The bar's positions through a run, as the window moved it.
class BarTrace {
 public:
  explicit BarTrace(QProgressBar* bar) {
    QObject::connect(bar, &QProgressBar::valueChanged, &m_context, [this](int v) { values.push_back(v); });
  }
  // Never back (no cancel in these runs), ending at 100.
  void ExpectRisingTo100() const {
    ASSERT_FALSE(values.empty());
    for (size_t i = 1; i < values.size(); ++i) EXPECT_GE(values[i], values[i - 1]) << "position " << i;
    EXPECT_EQ(values.back(), 100);
  }
  std::vector<int> values;

 private:
  QObject m_context;
};

// ISO mode with the real chain: the DVD copied into the work folder, the
// drivers in boot.wim, the Other and OS folders, the image built by our
// oscdimg into the chosen folder, and the finish question.
TEST_F(FullRuns, IsoModeFromClicksToTheSuccessQuestionWithTheImageInTheFolder) {
  OpenMainWindow(1);
  NextPage();
  BrowseTo(Machine().Root('G') / "iso");
  Boxes().Answer(platform::IDYES);
  BarTrace bar(ui().pbDism);
  NextPage();
  ASSERT_TRUE(WaitForRunEnd(300000));
  const auto seen = Boxes().Seen();
  ASSERT_FALSE(seen.empty()) << Trace();
  EXPECT_EQ(seen.back().text, Translate(L"SuccessMsg"));
  EXPECT_NE(Trace().find("[CheckProduct] end(TRUE)"), std::string::npos) << "the image was read back before the result";
  EXPECT_EQ(ui().lblPercent->text(), "100");
  bar.ExpectRisingTo100();
  std::vector<fs::path> images;
  for (const auto& entry : fs::directory_iterator(Machine().Root('G') / "iso"))
    if (entry.path().extension() == ".iso") images.push_back(entry.path());
  ASSERT_EQ(images.size(), 1u);
  FILE* pipe = ::popen(("xorriso -indev '" + images[0].string() + "' -find / -type f 2>/dev/null").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string files;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) files.append(buffer, n);
  ::pclose(pipe);
  EXPECT_NE(files.find("sources/boot.wim"), std::string::npos) << files;
  EXPECT_NE(files.find("setup.exe"), std::string::npos) << files;
}

TEST_F(FullRuns, UsbModeFromClicksToTheSuccessQuestionWithTheSourceOnTheStick) {
  // Sparse: the sample medium and its 500 MiB of headroom fit.
  StartWithVirtualStick(1024);
  OpenMainWindow(0);
  NextPage();
  // The stick's own partition (1 MiB to its end), not the host's file system.
  ASSERT_EQ(ui().cmbUsbList->currentText().toStdWString(), L"F:\\ (" + Translate(L"Capacity") + L" 1023 MB )");
  ASSERT_TRUE(ui().m_pNext->isEnabled());
  EXPECT_TRUE(ui().cmbUsbList->toolTip().contains(QString::fromStdString(StickImage().string())))
      << "the entry names the disk that will be erased: " << ui().cmbUsbList->toolTip().toStdString();
  Boxes().Answer(platform::IDYES);  // the format question
  BarTrace bar(ui().pbDism);
  NextPage();
  ASSERT_TRUE(WaitForRunEnd(300000));
  const auto seen = Boxes().Seen();
  ASSERT_GE(seen.size(), 2u) << Trace();
  EXPECT_EQ(seen.front().caption, Translate(L"Warning"));
  EXPECT_NE(seen.front().text.find(L"1023 MB"), std::wstring::npos) << "the format question shows the stick's size";
  // The erase question names the virtual stick's size and image file on a
  // line of its own, with No as the default button.
  const std::wstring identity = L"\n1.0 GiB, " + platform::WideFromAnsi(StickImage().string());
  EXPECT_TRUE(seen.front().text.ends_with(identity)) << platform::AnsiFromWide(seen.front().text);
  EXPECT_EQ(seen.front().type, platform::MB_YESNO | platform::MB_DEFBUTTON2);
  EXPECT_EQ(seen.back().text, Translate(L"SuccessMsg")) << platform::AnsiFromWide(seen.back().text);
  EXPECT_NE(Trace().find("[UpdateResult] finish_Success"), std::string::npos);
  EXPECT_LT(Trace().find("[CheckProduct] end(TRUE)"), Trace().find("[UpdateResult] finish_Success"))
      << "the stick was read back before the result";
  EXPECT_EQ(ui().lblPercent->text(), "100");
  bar.ExpectRisingTo100();
  // The stick as a peer reads it (the job has released it): partition 1 of
  // the image, from 1 MiB on, through mtools.
  const std::string fat = "'" + StickImage().string() + "@@1048576'";
  std::string listing = kxtest::ShellOutput("mdir -/ -b -i " + fat + " :: 2>&1");
  for (char& c : listing) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* file : {"::/setup.exe", "::/sources/boot.wim", "::/sources/install.wim", "::/autounattend/"})
    EXPECT_NE(listing.find(file), std::string::npos) << file << "\n" << listing.substr(0, 2000);
  EXPECT_EQ(kxtest::ShellOutput("mtype -i " + fat + " ::/setup.exe | sha256sum"),
            kxtest::ShellOutput("sha256sum < '" + (SampleMedium() / "setup.exe").string() + "'"));
}

// A stick that fails its writes with I/O errors (its image on a small
// tmpfs, so the loop device behind the volume can take only the first
// megabytes): the copy step onto it fails when it flushes the stick, and
// the run ends there as failed, not at the release.
TEST_F(FullRuns, UsbModeOntoAStickThatFailsItsWritesEndsAsFailed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root (tmpfs, loop devices)";
  StartWithVirtualStick(1200);
  const fs::path small = fs::path(StickImage()).parent_path() / "small";
  fs::create_directories(small);
  ASSERT_EQ(kxtest::Shell("mount -t tmpfs -o size=12m tmpfs '" + small.string() + "'"), 0);
  struct Unmount {
    fs::path folder;
    ~Unmount() { kxtest::Shell("umount -l '" + folder.string() + "'"); }
  } unmount{small};
  ASSERT_EQ(kxtest::Shell("cp --sparse=always '" + StickImage().string() + "' '" + small.string() + "/stick.img'"), 0);
  fs::remove(StickImage());
  fs::create_symlink(small / "stick.img", StickImage());
  // More data than the tmpfs holds once the stick is formatted.
  ASSERT_EQ(kxtest::Shell("head -c 20M /dev/urandom > '" + (fs::path(StickImage()).parent_path() / "dvd/bulk.bin").string() +
                          "'"),
            0);
  OpenMainWindow(0);
  NextPage();
  Boxes().Answer(platform::IDYES);  // the format question
  NextPage();
  ASSERT_TRUE(WaitForRunEnd(300000));
  EXPECT_EQ(ui().m_pNext->Caption(), Translate(L"Exit"));
  EXPECT_NE(Trace().find("[UpdateResult] finish_Fail"), std::string::npos) << Trace();
  EXPECT_EQ(Trace().find("[UpdateResult] finish_Success"), std::string::npos);
  EXPECT_EQ(Main().StatusText(), Translate(L"Copy") + Translate(L"Operation failed"))
      << platform::AnsiFromWide(Main().StatusText());
  EXPECT_NE(Trace().find("[COptFile::FlushTarget]"), std::string::npos) << Trace();
  // Below the result, what the stick holds now, as the command line says it.
  EXPECT_EQ(ui().lblTargetState->text().toStdWString().rfind(Translate(L"Cli State Stick Formatted") + L" ", 0), 0u)
      << ui().lblTargetState->text().toStdString();
}

TEST_F(FullRuns, AStickSmallerThanTheDvdAndItsHeadroomKeepsNextDisabledAndIsNotTouched) {
  StartWithVirtualStick(256);
  const std::string before = kxtest::ShellOutput("sha256sum < '" + StickImage().string() + "'");
  OpenMainWindow(0);
  NextPage();
  EXPECT_EQ(ui().cmbUsbList->currentText().toStdWString(), L"F:\\ (" + Translate(L"Capacity") + L" 255 MB )");
  EXPECT_FALSE(ui().m_pNext->isEnabled()) << "255 MB cannot take the DVD and 500 MB";
  EXPECT_TRUE(ui().lblUsbWhy->isVisible());
  EXPECT_EQ(ui().lblUsbWhy->text().toStdWString(), FillIn(Translate(L"Usb Entry Too Small"), L"255",
                                                          std::to_wstring(RequiredMB(Main().DvdSizeMB()))));
  EXPECT_TRUE(Boxes().Seen().empty());
  EXPECT_EQ(kxtest::ShellOutput("sha256sum < '" + StickImage().string() + "'"), before);
}

}  // namespace
}  // namespace wiztest
