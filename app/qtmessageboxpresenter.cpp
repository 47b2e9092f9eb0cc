#include "app/qtmessageboxpresenter.h"

#include "app/questionbox.h"

#include <QApplication>
#include <QPushButton>
#include <QString>
#include <QThread>

using platform::UINT;

namespace {

QMessageBox::StandardButtons ButtonsFor(UINT type) {
  switch (type & platform::MB_TYPEMASK) {
    case platform::MB_OKCANCEL: return QMessageBox::Ok | QMessageBox::Cancel;
    case platform::MB_YESNOCANCEL: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case platform::MB_YESNO: return QMessageBox::Yes | QMessageBox::No;
    default: return QMessageBox::Ok;
  }
}

QMessageBox::Icon IconFor(UINT type) {
  switch (type & platform::MB_ICONMASK) {
    case platform::MB_ICONERROR: return QMessageBox::Critical;
    case platform::MB_ICONQUESTION: return QMessageBox::Question;
    case platform::MB_ICONWARNING: return QMessageBox::Warning;
    case platform::MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// Closing the box without a button counts as the box's cancel answer: Cancel
// where there is one, OK for a lone OK. A Yes/No box has none (QuestionBox).
QMessageBox::StandardButton EscapeFor(UINT type) {
  switch (type & platform::MB_TYPEMASK) {
    case platform::MB_OKCANCEL:
    case platform::MB_YESNOCANCEL: return QMessageBox::Cancel;
    case platform::MB_YESNO: return QMessageBox::NoButton;
    default: return QMessageBox::Ok;
  }
}

// The button Enter presses: the second one where the box asks for it (No of
// a Yes/No question that erases a disk), else Qt's choice.
QMessageBox::StandardButton DefaultFor(UINT type) {
  if ((type & platform::MB_DEFMASK) != platform::MB_DEFBUTTON2) return QMessageBox::NoButton;
  switch (type & platform::MB_TYPEMASK) {
    case platform::MB_OKCANCEL: return QMessageBox::Cancel;
    case platform::MB_YESNOCANCEL:
    case platform::MB_YESNO: return QMessageBox::No;
    default: return QMessageBox::NoButton;
  }
}

}  // namespace

QtMessageBoxPresenter::QtMessageBoxPresenter() : m_context(std::make_unique<QObject>()) {}

QtMessageBoxPresenter::~QtMessageBoxPresenter() {
  if (m_installed) {
    platform::SetMessageBoxPresenter(nullptr);
    SetSimpleMessagePresenter(nullptr);
  }
}

void QtMessageBoxPresenter::Install() {
  platform::SetMessageBoxPresenter(this);
  SetSimpleMessagePresenter(this);
  m_installed = true;
}

QWidget* QtMessageBoxPresenter::OwnerWidget(platform::HWND owner) { return dynamic_cast<QWidget*>(owner); }

std::unique_ptr<QMessageBox> QtMessageBoxPresenter::BuildBox(QWidget* parent, const std::wstring& text,
                                                             const std::wstring& caption, UINT type) {
  auto box = std::make_unique<QuestionBox>(IconFor(type), QString::fromStdWString(caption),
                                           QString::fromStdWString(text), ButtonsFor(type), parent);
  box->setTextFormat(Qt::PlainText);  // texts are shown as written
  if (EscapeFor(type) != QMessageBox::NoButton) box->setEscapeButton(EscapeFor(type));
  if (DefaultFor(type) != QMessageBox::NoButton) box->setDefaultButton(DefaultFor(type));
  box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  return box;
}

int QtMessageBoxPresenter::AnswerFor(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Ok: return platform::IDOK;
    case QMessageBox::Cancel: return platform::IDCANCEL;
    case QMessageBox::Yes: return platform::IDYES;
    case QMessageBox::No: return platform::IDNO;
    default: return 0;
  }
}

bool QtMessageBoxPresenter::RunOnGuiThread(const std::function<void()>& fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  if (QThread::currentThread() == m_context->thread()) {
    fn();
    return true;
  }
  return QMetaObject::invokeMethod(m_context.get(), fn, Qt::BlockingQueuedConnection);
}

int QtMessageBoxPresenter::Show(platform::HWND owner, const std::wstring& text, const std::wstring& caption,
                                UINT type) {
  int answer = 0;
  RunOnGuiThread([&] {
    auto box = BuildBox(OwnerWidget(owner), text, caption, type);
    box->exec();
    answer = AnswerFor(box->standardButton(box->clickedButton()));
  });
  return answer;
}

void QtMessageBoxPresenter::ShowMessage(const std::wstring& text, const std::wstring& title) {
  RunOnGuiThread([&] {
    auto box = BuildBox(QApplication::activeWindow(), text, title, platform::MB_OK);
    box->exec();
  });
}
