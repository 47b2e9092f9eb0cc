#pragma once
// QtMessageBoxPresenter: shows the system's message boxes as standard Qt
// message boxes, and the simple message dialog captioned with the
// application title.
//
// Construct it on the GUI thread after the QApplication, then install it
// with Install() (it uninstalls itself when destroyed). Show may be called
// from any thread: a box asked for from another thread is shown on the GUI
// thread while the caller waits for the answer. The GUI thread must keep
// running its event loop meanwhile (it must not wait for that worker).
//
// Owner windows: a platform::HWND that is also a QWidget (a window class
// deriving from both) becomes the box's parent and the box is modal to it;
// a null owner gives an application-modal box.

#include <QMessageBox>
#include <QObject>

#include <functional>
#include <memory>

#include "config/simplemessage.h"
#include "platform/windows/window.h"

class QtMessageBoxPresenter final : public platform::MessageBoxPresenter, public SimpleMessagePresenter {
 public:
  QtMessageBoxPresenter();
  ~QtMessageBoxPresenter() override;
  QtMessageBoxPresenter(const QtMessageBoxPresenter&) = delete;
  QtMessageBoxPresenter& operator=(const QtMessageBoxPresenter&) = delete;

  // Makes this the presenter of platform::MessageBox and ShowSimpleMessage.
  void Install();

  int Show(platform::HWND owner, const std::wstring& text, const std::wstring& caption, platform::UINT type) override;
  void ShowMessage(const std::wstring& text, const std::wstring& title) override;

  // The box for a request, not yet shown: buttons, icon, escape button and
  // modality as the type asks.
  static std::unique_ptr<QMessageBox> BuildBox(QWidget* parent, const std::wstring& text, const std::wstring& caption,
                                               platform::UINT type);
  // The system's answer (IDOK, IDYES ...) for a pressed button; 0 for none.
  static int AnswerFor(QMessageBox::StandardButton button);
  static QWidget* OwnerWidget(platform::HWND owner);

 private:
  // Runs fn on the GUI thread and waits; false when there is no GUI thread.
  bool RunOnGuiThread(const std::function<void()>& fn);

  std::unique_ptr<QObject> m_context;  // lives on the GUI thread
  bool m_installed = false;
};
