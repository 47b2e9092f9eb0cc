#pragma once
// The terminal's interruptions as a request, not a death: SIGINT (Ctrl+C),
// SIGTERM and SIGHUP (the terminal closed) are blocked in every thread of
// the process (make the watcher before any other thread) and a thread of
// the watcher's own waits for them and calls the handler, which may do
// anything a thread may (both front ends post a cancel to the main window,
// which cancels as the Cancel button does). The destructor stops and joins
// that thread; the signals stay blocked, so one that comes later is not a
// death either.

#include <atomic>
#include <functional>
#include <thread>

namespace platform {

class SignalWatcher {
 public:
  explicit SignalWatcher(std::function<void(int)> onSignal);
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  std::function<void(int)> onSignal_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace platform
