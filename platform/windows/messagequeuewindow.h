#pragma once
// A window without a screen: messages and synchronous calls are queued and
// handled on the thread that owns the object when it pumps. The console
// runner uses it as its main window; tests use it to record what a worker
// reports.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/windows/window.h"

namespace platform {

class MessageQueueWindow final : public Window, public MainThread {
 public:
  using Handler = std::function<LRESULT(UINT, WPARAM, LPARAM)>;

  // The constructing thread is the window's thread.
  explicit MessageQueueWindow(Handler handler);
  ~MessageQueueWindow() override;

  bool Post(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Synchronize(const std::function<void()>& fn) override;

  // Handles everything queued; on the window's thread only. Returns the
  // number of items handled.
  int PumpPending();
  // Handles items until pred() is true or the timeout passes; false on timeout.
  bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

 private:
  struct Item {
    std::function<void()> run;
  };
  bool OnOwnThread() const { return std::this_thread::get_id() == owner_; }
  void RunAndWait(std::function<void()> fn);

  Handler handler_;
  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Item> queue_;
  bool closed_ = false;
};

}  // namespace platform
