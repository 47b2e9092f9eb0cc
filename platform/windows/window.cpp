#include "platform/windows/window.h"

#include <atomic>
#include <cstdio>

#include "platform/text.h"

namespace platform {

namespace {
std::atomic<MainThread*> g_mainThread{nullptr};
std::atomic<MessageBoxPresenter*> g_presenter{nullptr};
}  // namespace

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return window ? window->Post(message, wParam, lParam) : false;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return window ? window->Send(message, wParam, lParam) : 0;
}

void SetMainThread(MainThread* mainThread) { g_mainThread.store(mainThread); }

void Synchronize(const std::function<void()>& fn) {
  if (MainThread* m = g_mainThread.load()) m->Synchronize(fn);
  else fn();
}

void SetMessageBoxPresenter(MessageBoxPresenter* presenter) { g_presenter.store(presenter); }

int MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
  if (MessageBoxPresenter* p = g_presenter.load()) return p->Show(owner, text, caption, type);
  std::fprintf(stderr, "[%s] %s\n", AnsiFromWide(caption).c_str(), AnsiFromWide(text).c_str());
  return 0;
}

}  // namespace platform
