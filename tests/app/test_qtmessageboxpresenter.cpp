#include "app/qtmessageboxpresenter.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QKeyEvent>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

#include "config/messageboxes.h"
#include "config/ovmultilangdll.h"
#include "qtapp.h"

namespace {

using namespace platform;

// A window of the program: a widget that is also a platform window.
class OwnerWindow final : public QWidget, public Window {
 public:
  bool Post(UINT, WPARAM, LPARAM) override { return true; }
  LRESULT Send(UINT, WPARAM, LPARAM) override { return 0; }
};

struct Seen {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QWidget* parent = nullptr;
  Qt::WindowModality modality = Qt::NonModal;
  bool onGuiThread = false;
};

// Waits for the next modal box, records it and presses one of its buttons.
void AnswerNextBox(QMessageBox::StandardButton press, Seen& seen) {
  auto* timer = new QTimer(qApp);  // deleted below once it has answered
  QObject::connect(timer, &QTimer::timeout, [timer, press, &seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->parentWidget(),
            box->windowModality(), QThread::currentThread() == qApp->thread()};
    timer->stop();
    timer->deleteLater();
    box->button(press)->click();
  });
  timer->start(10);
}

class PresenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    apptest::EnsureQtApp();
    presenter = std::make_unique<QtMessageBoxPresenter>();
    presenter->Install();
  }
  std::unique_ptr<QtMessageBoxPresenter> presenter;
  Seen seen;
};

TEST_F(PresenterTest, YesNoWarningBoxModalToItsOwner) {
  OwnerWindow owner;
  owner.show();
  AnswerNextBox(QMessageBox::Yes, seen);
  EXPECT_TRUE(AskFormatFailure(&owner));
  EXPECT_EQ(seen.text.toStdWString(), Translate(L"Format failure"));
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(seen.parent, &owner);
  EXPECT_EQ(seen.modality, Qt::WindowModal);

  AnswerNextBox(QMessageBox::No, seen);
  EXPECT_FALSE(AskFormatFailure(&owner));
}

TEST_F(PresenterTest, OwnerlessErrorBoxIsApplicationModal) {
  AnswerNextBox(QMessageBox::Ok, seen);
  ShowNotUsbDiskBox();
  EXPECT_EQ(seen.title, "Error");
  EXPECT_EQ(seen.text, "This is not a USB disk/flash.");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, QMessageBox::Ok);
  EXPECT_EQ(seen.parent, nullptr);
  EXPECT_EQ(seen.modality, Qt::ApplicationModal);
}

TEST_F(PresenterTest, BoxFromAWorkerIsShownOnTheGuiThreadWhileTheWorkerWaits) {
  std::atomic<int> answer{-1};
  std::atomic<bool> done{false};
  AnswerNextBox(QMessageBox::Yes, seen);
  std::thread worker([&] {
    answer = platform::MessageBox(nullptr, L"from worker", L"DismCpp", MB_YESNO | MB_ICONQUESTION);
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  worker.join();
  EXPECT_EQ(answer, IDYES);
  EXPECT_TRUE(seen.onGuiThread);
  EXPECT_EQ(seen.text, "from worker");
  EXPECT_EQ(seen.icon, QMessageBox::Question);
}

TEST_F(PresenterTest, SimpleMessageIsAnOkDialogCaptionedWithTheTitle) {
  AnswerNextBox(QMessageBox::Ok, seen);
  ShowSimpleMessage(L"Disk too small");
  EXPECT_EQ(seen.title, "Kestrunex");
  EXPECT_EQ(seen.text, "Disk too small");
  EXPECT_EQ(seen.buttons, QMessageBox::Ok);
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
}

TEST(PresenterMapping, ButtonsIconsAndAnswersFollowTheType) {
  apptest::EnsureQtApp();
  auto box = QtMessageBoxPresenter::BuildBox(nullptr, L"<b>t</b>", L"c", MB_YESNOCANCEL | MB_ICONINFORMATION);
  EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(box->icon(), QMessageBox::Information);
  EXPECT_EQ(box->textFormat(), Qt::PlainText);
  EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
  auto yesNo = QtMessageBoxPresenter::BuildBox(nullptr, L"t", L"c", MB_YESNO);
  EXPECT_EQ(yesNo->escapeButton(), nullptr);  // only Yes or No answers it
  EXPECT_EQ(yesNo->icon(), QMessageBox::NoIcon);
  EXPECT_EQ(QtMessageBoxPresenter::BuildBox(nullptr, L"t", L"c", MB_OKCANCEL)->standardButtons(),
            QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(QtMessageBoxPresenter::AnswerFor(QMessageBox::Yes), IDYES);
  EXPECT_EQ(QtMessageBoxPresenter::AnswerFor(QMessageBox::No), IDNO);
  EXPECT_EQ(QtMessageBoxPresenter::AnswerFor(QMessageBox::Ok), IDOK);
  EXPECT_EQ(QtMessageBoxPresenter::AnswerFor(QMessageBox::Cancel), IDCANCEL);
  EXPECT_EQ(QtMessageBoxPresenter::AnswerFor(QMessageBox::NoButton), 0);
}

// Enter on the erase question presses No, its default; other Yes/No boxes
// keep Yes as Enter's answer.
TEST(PresenterMapping, EnterPressesNoWhereTheSecondButtonIsTheDefault) {
  apptest::EnsureQtApp();
  for (const auto& [type, answer] : {std::pair{MB_YESNO | MB_DEFBUTTON2, QMessageBox::No},
                                     std::pair{MB_YESNO, QMessageBox::Yes}}) {
    auto box = QtMessageBoxPresenter::BuildBox(nullptr, L"Erase?", L"Warning", type);
    box->show();
    QCoreApplication::processEvents();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(box->focusWidget() ? box->focusWidget() : box.get(), &enter);
    QCoreApplication::processEvents();
    EXPECT_EQ(box->standardButton(box->clickedButton()), answer) << type;
  }
}

// Escape and the close command: a Yes/No question waits for a button; the
// other boxes take them as their cancel answer.
struct EscapeCase {
  const char* name;
  UINT type;
  bool closesOnEscape;
  QMessageBox::StandardButton escapeAnswer;
};

class EscapeOnBox : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeOnBox, ClosesTheBoxOnlyWhereTheBoxHasACancelAnswer) {
  apptest::EnsureQtApp();
  const EscapeCase& c = GetParam();
  auto box = QtMessageBoxPresenter::BuildBox(nullptr, L"Start again?", L"Finish", c.type);
  box->show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(box.get(), &escape);
  QCoreApplication::processEvents();
  EXPECT_EQ(box->isVisible(), !c.closesOnEscape);
  if (c.closesOnEscape) {
    EXPECT_EQ(box->standardButton(box->clickedButton()), c.escapeAnswer);
    return;
  }
  EXPECT_FALSE(box->close());  // the close command is refused too
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->clickedButton(), nullptr);
  box->button(QMessageBox::Yes)->click();
  EXPECT_FALSE(box->isVisible());
  EXPECT_EQ(QtMessageBoxPresenter::AnswerFor(box->standardButton(box->clickedButton())), IDYES);
}

INSTANTIATE_TEST_SUITE_P(
    Types, EscapeOnBox,
    ::testing::Values(EscapeCase{"YesNo", MB_YESNO, false, QMessageBox::NoButton},
                      EscapeCase{"YesNoQuestion", MB_YESNO | MB_ICONQUESTION, false, QMessageBox::NoButton},
                      EscapeCase{"YesNoCancel", MB_YESNOCANCEL, true, QMessageBox::Cancel},
                      EscapeCase{"OkCancel", MB_OKCANCEL, true, QMessageBox::Cancel},
                      EscapeCase{"Ok", MB_OK, true, QMessageBox::Ok}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PresenterInstall, DestroyingThePresenterUninstallsIt) {
  apptest::EnsureQtApp();
  { QtMessageBoxPresenter presenter; presenter.Install(); }
  // Without a presenter a box answers 0 at once instead of waiting.
  EXPECT_EQ(platform::MessageBox(nullptr, L"t", L"c", MB_YESNO), 0);
}

}  // namespace
