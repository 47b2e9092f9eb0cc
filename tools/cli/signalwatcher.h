#pragma once
// Ctrl+C (SIGINT) and SIGTERM as a request, not a death: the signals are
// blocked in every thread of the process (make the watcher before any other
// thread) and a thread of the watcher's own waits for them and calls the
// handler, which may do anything a thread may (the cancel path posts to the
// main window). The destructor stops and joins that thread.

#include <atomic>
#include <functional>
#include <thread>

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
