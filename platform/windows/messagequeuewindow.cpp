#include "platform/windows/messagequeuewindow.h"

#include <memory>

namespace platform {

MessageQueueWindow::MessageQueueWindow(Handler handler)
    : handler_(std::move(handler)), owner_(std::this_thread::get_id()) {}

MessageQueueWindow::~MessageQueueWindow() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  cv_.notify_all();
}

bool MessageQueueWindow::Post(UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  queue_.push_back({[this, message, wParam, lParam] { handler_(message, wParam, lParam); }});
  cv_.notify_all();
  return true;
}

void MessageQueueWindow::RunAndWait(std::function<void()> fn) {
  if (OnOwnThread()) {
    fn();
    return;
  }
  auto done = std::make_shared<bool>(false);
  std::unique_lock lock(mutex_);
  if (closed_) return;
  queue_.push_back({[this, fn, done] {
    fn();
    std::lock_guard l(mutex_);
    *done = true;
    cv_.notify_all();
  }});
  cv_.notify_all();
  cv_.wait(lock, [&] { return *done || closed_; });
}

LRESULT MessageQueueWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  RunAndWait([&] { result = handler_(message, wParam, lParam); });
  return result;
}

void MessageQueueWindow::Synchronize(const std::function<void()>& fn) { RunAndWait(fn); }

int MessageQueueWindow::PumpPending() {
  int handled = 0;
  for (;;) {
    Item item;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return handled;
      item = std::move(queue_.front());
      queue_.pop_front();
    }
    item.run();
    ++handled;
  }
}

bool MessageQueueWindow::PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    PumpPending();
    if (pred()) return true;
    std::unique_lock lock(mutex_);
    if (!cv_.wait_until(lock, deadline, [&] { return !queue_.empty(); })) {
      lock.unlock();
      PumpPending();
      return pred();
    }
  }
}

}  // namespace platform
