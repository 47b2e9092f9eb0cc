// Renders every window and page to PNG files under the build folder's
// snapshots/app/ for a person to look at, in English and in Japanese, and
// checks what can be checked without eyes: nothing is clipped out of its
// window, every label's text fits its box, the banner and the buttons are
// drawn.

#include <QImage>
#include <QPixmap>

#include <cstdlib>

#include "app/qtmessageboxpresenter.h"
#include "app/qttranslations.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QTranslator>
#include "config/diskidentity.h"
#include "config/messageboxes.h"
#include "config/ovmultilangdll.h"
#include "fakeoperations.h"
#include "wizardtest.h"

namespace wiztest {
namespace {

struct Language {
  const char* name;
  const char* locale;
  platform::LANGID id;
};

class Snapshots : public WizardTest, public ::testing::WithParamInterface<Language> {
 protected:
  void SetUp() override {
    const char* old = std::getenv("LC_ALL");
    m_oldLocale = old ? old : "";
    ::setenv("LC_ALL", GetParam().locale, 1);
    m_language = std::make_unique<platform::ScopedSystemLanguage>(GetParam().id);
    m_folder = fs::path(KX_SNAPSHOT_DIR) / "app";
    fs::create_directories(m_folder);
    WizardTest::SetUp();
  }
  void TearDown() override {
    WizardTest::TearDown();
    m_language.reset();
    if (m_oldLocale.empty()) ::unsetenv("LC_ALL");
    else ::setenv("LC_ALL", m_oldLocale.c_str(), 1);
  }

  void Save(QWidget& window, const std::string& name) {
    Pump(20);
    const QImage image = window.grab().toImage();
    EXPECT_EQ(image.size(), QSize(712, 302)) << name;
    ASSERT_TRUE(image.save(QString::fromStdString((m_folder / (std::string(GetParam().name) + "_" + name + ".png")).string())));
    ExpectLaidOut(window, name);
  }
  void SaveBox(const std::wstring& text, const std::wstring& caption, platform::UINT type, const std::string& name) {
    QTranslator* qtTexts = InstallQtTranslations(*QCoreApplication::instance(), QLocale(GetParam().locale));
    auto box = QtMessageBoxPresenter::BuildBox(&Main(), text, caption, type);
    box->show();
    Pump(20);
    ASSERT_TRUE(box->grab().toImage().save(
        QString::fromStdString((m_folder / (std::string(GetParam().name) + "_box_" + name + ".png")).string())));
    if (type == platform::MB_YESNO && std::string(GetParam().name) == "japanese") {
      EXPECT_NE(box->button(QMessageBox::Yes)->text(), "&Yes") << "Qt's texts in the user's language";
    }
    box->hide();
    if (qtTexts) {
      QCoreApplication::removeTranslator(qtTexts);
      delete qtTexts;
    }
  }
  // Every visible label inside its window and big enough for its text.
  static void ExpectLaidOut(QWidget& window, const std::string& name) {
    for (QLabel* label : window.findChildren<QLabel*>()) {
      if (!label->isVisibleTo(&window) || label->text().isEmpty()) continue;
      const QRect inWindow(label->mapTo(&window, QPoint(0, 0)), label->size());
      EXPECT_TRUE(QRect(0, 0, 712, 302).contains(inWindow))
          << name << ": " << label->text().toStdString() << " leaves the window";
      const QSize needed = label->wordWrap() ? QSize(label->width(), label->heightForWidth(label->width()))
                                             : label->sizeHint();
      EXPECT_LE(needed.height(), label->height() + 2) << name << ": " << label->text().toStdString();
      EXPECT_LE(needed.width(), label->width() + 2) << name << ": " << label->text().toStdString();
    }
  }

  fs::path m_folder;
  std::string m_oldLocale;
  std::unique_ptr<platform::ScopedSystemLanguage> m_language;
};

TEST_P(Snapshots, EveryWindowAndPage) {
  std::atomic<int> stops{0};
  Main().SetOperationFactory(StepFactory([&](int step, platform::HWND) -> std::unique_ptr<BasicOperation> {
    return std::make_unique<StubbornOperation>(&stops, 1);
  }));
  EXPECT_FALSE(First().Image1()->pixmap().isNull()) << "banner";
  EXPECT_GT(First().NextButton()->width(), 0) << "button artwork";
  Save(First(), "mode_usb");
  First().cmbMode()->setCurrentIndex(1);
  Save(First(), "mode_iso");
  ChooseMode(0);
  Save(Eula(), "licence");
  EXPECT_FALSE(Eula().EULAMemo()->toPlainText().isEmpty());
  AgreeAndGoOn();
  WaitForSourceSize();
  Save(Main(), "usb_page0_source");
  NextPage();
  Save(Main(), "usb_page1_stick");
  SaveBox(FormatWarningText(Main().TargetPath()) + L"\n" + DiskIdentityLine(L"F:\\"), Translate(L"Warning"),
          platform::MB_YESNO | platform::MB_DEFBUTTON2, "format_question");
  NextPage();
  Save(Main(), "usb_page2_run_0");
  Main().Send(WM_OPSTATE, 5, 100);
  Main().Send(WM_OPSTATE, 3, 100);
  Main().Send(WM_OPSTATE, 5, 60);
  Save(Main(), "usb_page2_run_mid");
  Main().Send(WM_OPSTATE, 19, 100);
  Save(Main(), "usb_page2_run_100");
  ASSERT_TRUE(Click(ui().m_pNext));  // cancel
  ASSERT_TRUE(WaitForRunEnd());
  SaveBox(Translate(L"CancelMsg"), Translate(L"Finish"), platform::MB_YESNO, "finish_question");
  SaveBox(SpaceWarningText(4500), Translate(L"Warning"), platform::MB_OK, "space_warning");

  Start(DefaultDrives());
  Main().SetOperationFactory(StepFactory([](int, platform::HWND hWnd) {
    return std::make_unique<ScriptedOperation>(hWnd, std::vector<Message>{{false, 2, 45}}, 0, nullptr, nullptr,
                                               nullptr);
  }));
  OpenMainWindow(1);
  NextPage();
  Save(Main(), "iso_page4_folder_empty");
  BrowseTo(Machine().Root('G') / "Windows 7 images");
  Save(Main(), "iso_page4_folder");
  NextPage();
  ASSERT_TRUE(WaitForRunEnd());
  Save(Main(), "iso_page2_failed_exit");
}

INSTANTIATE_TEST_SUITE_P(Languages, Snapshots,
                         ::testing::Values(Language{"english", "en_US.UTF-8", 0x0409},
                                           Language{"japanese", "ja_JP.UTF-8", 0x0411}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace wiztest
