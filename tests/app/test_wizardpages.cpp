// The three windows walked by clicks: the mode and licence windows, the
// page sequence of both modes, Back, the format question, closing.

#include <QApplication>
#include <QKeyEvent>


#include "config/ovmultilangdll.h"
#include "platform/text.h"
#include "wizardtest.h"

namespace wiztest {
namespace {

using Pages = WizardTest;

struct ModeWalk {
  const char* name;
  int mode;
  int secondPage;
  bool asksFormat;
  const wchar_t* runTitleKey;
};

class ModeWalkTest : public WizardTest, public ::testing::WithParamInterface<ModeWalk> {};

TEST_P(ModeWalkTest, WalksFromTheModeWindowToTheRunPage) {
  const ModeWalk& walk = GetParam();
  EXPECT_TRUE(First().isVisible());
  EXPECT_FALSE(Main().isVisible());
  ChooseMode(walk.mode);
  EXPECT_FALSE(First().isVisible());
  EXPECT_EQ(Eula().Mode(), walk.mode);
  AgreeAndGoOn();
  EXPECT_FALSE(Eula().isVisible());
  ASSERT_TRUE(Main().isVisible());
  EXPECT_EQ(Main().DlgType(), walk.mode);

  // Page 0: the optical drive with its label, measured, Next enabled.
  EXPECT_EQ(Main().CurPage(), 0);
  EXPECT_TRUE(ui().panSelectDVD->isVisible());
  EXPECT_EQ(ui().panSelectDVD->geometry(), QRect(180, 67, 525, 205));
  EXPECT_EQ(ui().cmbDVDlist->currentText().toStdWString(), L"E:\\ ( GRMCULFRER_EN_DVD ) ");
  WaitForSourceSize();
  EXPECT_EQ(Main().SourcePath(), L"E:\\");
  EXPECT_GT(Main().DvdSizeMB(), 0);
  EXPECT_EQ(ui().lblWait->text().toStdWString(),
            Translate(L"Capacity") + std::to_wstring(Main().DvdSizeMB()) + L" MB");
  EXPECT_EQ(ui().Label2->text().toStdWString(), Translate(L"Step1"));
  EXPECT_TRUE(ui().m_pNext->isEnabled());
  EXPECT_TRUE(ui().m_pBack->isEnabled());
  EXPECT_TRUE(Main().CloseEnabled());

  NextPage();
  EXPECT_EQ(Main().CurPage(), walk.secondPage);
  EXPECT_EQ(ui().panSelectUsb->isVisible(), walk.secondPage == 1);
  EXPECT_EQ(ui().Panel_DstISO->isVisible(), walk.secondPage == 4);
  EXPECT_FALSE(ui().panSelectDVD->isVisible());
  if (walk.secondPage == 1) {
    EXPECT_EQ(ui().cmbUsbList->count(), 1);
    EXPECT_EQ(Main().TargetPath(), L"F:\\ (" + Translate(L"Capacity") + L" 7600 MB )");
    EXPECT_EQ(Main().UsbSizeMB(), 7600);
  } else {
    EXPECT_FALSE(ui().m_pNext->isEnabled());  // nothing browsed yet
    BrowseTo(Machine().Root('G') / "iso");
    EXPECT_EQ(ui().EdtISOPathdst->text().toStdWString(), L"G:\\iso\\");
  }
  ASSERT_TRUE(ui().m_pNext->isEnabled());

  Boxes().Answer(platform::IDYES);  // the format question, where there is one
  Boxes().Answer(platform::IDYES);  // the finish question: end
  NextPage();
  const auto seen = Boxes().Seen();
  const bool asked = !seen.empty() && seen.front().caption == Translate(L"Warning");
  EXPECT_EQ(asked, walk.asksFormat);
  EXPECT_EQ(Main().CurPage(), 2);
  EXPECT_TRUE(ui().panMainScreen->isVisible());
  EXPECT_FALSE(ui().m_pBack->isVisible());
  EXPECT_EQ(ui().m_pNext->Caption(), Translate(L"Cancel"));
  EXPECT_EQ(ui().Label1->text().toStdWString(), Translate(walk.runTitleKey));
  EXPECT_FALSE(Main().CloseEnabled());
  EXPECT_FALSE(Main().close()) << "the run page refuses to close";
  EXPECT_TRUE(Main().isVisible());
  EXPECT_TRUE(WaitForRunEnd());
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeWalkTest,
                         ::testing::Values(ModeWalk{"Usb", 0, 1, true, L"USB Step3 Caption"},
                                           ModeWalk{"Iso", 1, 4, false, L"ISO Step3 Caption"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pages, BackOnTheFirstPageShowsTheModeWindowAndNextThereTheLicenceAgainUnticked) {
  OpenMainWindow(1);
  NextPage();
  ASSERT_EQ(Main().CurPage(), 4);
  ASSERT_TRUE(Click(ui().m_pBack));
  EXPECT_EQ(Main().CurPage(), 0);
  WaitForSourceSize();
  ASSERT_TRUE(Click(ui().m_pBack));
  EXPECT_TRUE(First().isVisible());
  EXPECT_FALSE(Main().isVisible());
  EXPECT_FALSE(Eula().isVisible());

  ChooseMode(0);
  EXPECT_TRUE(Eula().isVisible());
  EXPECT_FALSE(Eula().CheckBox1()->isChecked());
  EXPECT_FALSE(Eula().NextButton()->isEnabled());
  EXPECT_EQ(Eula().Mode(), 0);
  ASSERT_TRUE(Click(Eula().BackButton()));
  EXPECT_TRUE(First().isVisible());
  EXPECT_FALSE(Eula().isVisible());
}

TEST_F(Pages, NoToTheFormatQuestionReturnsToAFreshUsbListAndTheQuestionShowsTheWholeEntry) {
  OpenMainWindow(0);
  NextPage();
  ASSERT_EQ(Main().CurPage(), 1);
  const std::wstring entry = Main().TargetPath();
  // A second stick arrives while the question is open.
  Machine().WriteFile('H', "keep.txt", "data");
  platform::DriveDecl stick;
  stick.letter = L'H';
  stick.hostFolder = Machine().Root('H').string();
  stick.driveType = platform::DRIVE_REMOVABLE;
  stick.busType = platform::BusTypeUsb;
  stick.fileSystem = L"FAT32";
  stick.totalBytes = 16000ull * 1048576;
  platform::CurrentMachine().AddDrive(stick);

  Boxes().Answer(platform::IDNO);
  NextPage();
  const auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  // The line below names the disk's size and, for a stick that is a folder
  // of the test machine, that folder.
  EXPECT_EQ(seen[0].text, Translate(L"Format warning1") + L" " + entry + L" " + Translate(L"Format warning2") +
                              L"\n7.4 GiB, " + platform::WideFromAnsi(Machine().Root('F').string()));
  EXPECT_NE(seen[0].text.find(L"7600 MB )"), std::wstring::npos);
  EXPECT_EQ(seen[0].type, platform::MB_YESNO | platform::MB_DEFBUTTON2);
  EXPECT_EQ(seen[0].owner, static_cast<platform::HWND>(&Main()));
  EXPECT_EQ(Main().CurPage(), 1);
  EXPECT_TRUE(ui().panSelectUsb->isVisible());
  EXPECT_EQ(ui().cmbUsbList->count(), 2);
  EXPECT_EQ(Main().OperationThd(), nullptr) << "nothing was started";
  EXPECT_TRUE(Main().CloseEnabled());
  EXPECT_FALSE(kxtest::ReadHostFile(Machine().Root('H') / "keep.txt").empty());
}

TEST_F(Pages, WithoutAdminRightsTheUsbModeSaysSoAndStaysOnTheUsbPage) {
  Main().SetAdminCheck([] { return false; });
  OpenMainWindow(0);
  NextPage();
  NextPage();
  const auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, Translate(L"No admin rights") + L"\n" + Translate(L"Admin Desktop Action"));
  EXPECT_EQ(Main().CurPage(), 1);
  EXPECT_EQ(Main().OperationThd(), nullptr);
}

TEST_F(Pages, ClosingTheLicenceOrTheMainWindowEndsTheProgram) {
  ChooseMode(0);
  QKeyEvent altF4(QEvent::KeyPress, Qt::Key_F4, Qt::AltModifier);
  QApplication::sendEvent(&Eula(), &altF4);
  EXPECT_TRUE(Eula().isVisible()) << "Alt+F4 on the window itself is discarded";
  EXPECT_FALSE(First().ProgramEnded());
  EXPECT_TRUE(Eula().close());
  EXPECT_TRUE(First().ProgramEnded());
  Start(DefaultDrives());
  OpenMainWindow(0);
  EXPECT_TRUE(Main().close());
  EXPECT_TRUE(First().ProgramEnded());
  EXPECT_FALSE(First().isVisible());
}

TEST_F(Pages, TheModeWindowsCloseBoxEndsTheProgram) {
  ASSERT_TRUE(First().isVisible());
  EXPECT_FALSE(First().ProgramEnded());
  EXPECT_TRUE(First().close());
  EXPECT_TRUE(First().ProgramEnded());
  EXPECT_FALSE(Main().isVisible());
}

struct LanguageShift {
  const char* name;
  platform::LANGID language;
  int usbShift;  // Label4, Label5
  int isoShift;  // Label10, Label11
};

class LanguageLayout : public WizardTest, public ::testing::WithParamInterface<LanguageShift> {
 protected:
  void SetUp() override {
    m_language = std::make_unique<platform::ScopedSystemLanguage>(GetParam().language);
    WizardTest::SetUp();
  }
  void TearDown() override {
    WizardTest::TearDown();
    m_language.reset();
  }
  std::unique_ptr<platform::ScopedSystemLanguage> m_language;
};

TEST_P(LanguageLayout, TitlesOfTheTargetPagesMoveUpForLongerLanguages) {
  const LanguageShift& c = GetParam();
  EXPECT_EQ(ui().Label4->y(), 26 - c.usbShift);
  EXPECT_EQ(ui().Label5->y(), 26 - c.usbShift);
  EXPECT_EQ(ui().Label10->y(), 15 - c.isoShift);
  EXPECT_EQ(ui().Label11->y(), 15 - c.isoShift);
  EXPECT_EQ(ui().Label2->y(), 21);

  // A Japanese system gives the windows "MS UI Gothic"; the labels with a
  // font of their own keep it.
  const bool japanese = c.language == 0x0411;
  EXPECT_EQ(First().font().family() == "MS UI Gothic", japanese);
  EXPECT_EQ(Eula().font().family() == "MS UI Gothic", japanese);
  EXPECT_EQ(First().lblNote()->font().family(), "Tahoma");
  EXPECT_EQ(First().cmbMode()->font().family(), First().font().family());
  EXPECT_EQ(Eula().Label1()->font().family(), "Microsoft Sans Serif");
  EXPECT_EQ(Eula().EULAMemo()->font().family(), "Microsoft Sans Serif");
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageLayout,
                         ::testing::Values(LanguageShift{"Spanish", 0x0C0A, 15, 15},
                                           LanguageShift{"SpanishTraditional", 0x040A, 15, 15},
                                           LanguageShift{"French", 0x040C, 0, 15},
                                           LanguageShift{"FrenchCanada", 0x0C0C, 0, 15},
                                           LanguageShift{"English", 0x0409, 0, 0},
                                           LanguageShift{"Japanese", 0x0411, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace wiztest
