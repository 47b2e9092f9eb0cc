#pragma once
// Windows as the system above this layer sees them: a handle that receives
// messages, posted (queued, the sender goes on) or sent (the sender waits
// until the window's handler returned); a way to run a function on the
// window thread and wait; and message boxes, shown by a presenter that the
// user interface installs.

#include <functional>
#include <string>

#include "platform/types.h"

namespace platform {

inline constexpr UINT WM_USER = 0x0400;

class Window {
 public:
  virtual ~Window() = default;
  // Queues the message for the window's thread and returns at once; false
  // when the window no longer takes messages.
  virtual bool Post(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // Has the window's thread handle the message and returns the handler's
  // result; called on the window's thread it runs the handler directly.
  virtual LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// A window handle: not owned, null for "no window".
using HWND = Window*;

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The thread that runs the windows. Synchronize runs the function there and
// returns when it has finished.
class MainThread {
 public:
  virtual ~MainThread() = default;
  virtual void Synchronize(const std::function<void()>& fn) = 0;
};

// Installs the window thread's dispatcher (null removes it). Without one,
// Synchronize runs the function on the calling thread.
void SetMainThread(MainThread* mainThread);
void Synchronize(const std::function<void()>& fn);

// Message boxes.
inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr UINT MB_DEFBUTTON1 = 0x0;    // the first button is the default (Enter)
inline constexpr UINT MB_DEFBUTTON2 = 0x100;  // the second (No of Yes/No) is
inline constexpr UINT MB_TYPEMASK = 0xF;
inline constexpr UINT MB_ICONMASK = 0xF0;
inline constexpr UINT MB_DEFMASK = 0xF00;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

class MessageBoxPresenter {
 public:
  virtual ~MessageBoxPresenter() = default;
  // Shows the box modally and returns the button pressed (IDOK, IDYES ...),
  // 0 when it could not be shown. May be called from any thread.
  virtual int Show(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) = 0;
};

// Installs the presenter (null: none). Without one a box is written to the
// standard error stream and answers 0, which every caller reads as "no".
void SetMessageBoxPresenter(MessageBoxPresenter* presenter);
int MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

}  // namespace platform
