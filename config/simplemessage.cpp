#include "config/simplemessage.h"

#include <atomic>

#include "platform/windows/window.h"

namespace {
std::atomic<SimpleMessagePresenter*> g_presenter{nullptr};
}

void SetSimpleMessagePresenter(SimpleMessagePresenter* presenter) { g_presenter.store(presenter); }

void ShowSimpleMessage(const std::wstring& text) {
  if (SimpleMessagePresenter* p = g_presenter.load()) p->ShowMessage(text, kApplicationTitle);
  else platform::MessageBox(nullptr, text, kApplicationTitle, platform::MB_OK);
}
