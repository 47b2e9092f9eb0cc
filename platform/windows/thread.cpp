#include "platform/windows/thread.h"

#include "platform/windows/window.h"

namespace platform {

Thread::~Thread() { EndAndWait(); }

void Thread::Resume() {
  std::lock_guard lock(mutex_);
  if (!started_) {
    started_ = true;
    thread_ = std::thread([this] { Run(); });
    return;
  }
  resumePending_ = true;
  wake_.notify_all();
}

void Thread::Terminate() {
  std::lock_guard lock(mutex_);
  terminated_ = true;
  wake_.notify_all();
}

void Thread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Thread::EndAndWait() {
  Terminate();
  {
    std::lock_guard lock(mutex_);
    // A thread that never started has nothing to end.
    if (!started_) return;
  }
  Resume();
  WaitFor();
}

bool Thread::Parked() const {
  std::lock_guard lock(mutex_);
  return parked_;
}

void Thread::Suspend() {
  std::unique_lock lock(mutex_);
  parked_ = true;
  wake_.wait(lock, [this] { return resumePending_ || terminated_.load(); });
  resumePending_ = false;
  parked_ = false;
}

void Thread::Synchronize(const std::function<void()>& fn) { platform::Synchronize(fn); }

void Thread::Run() {
  Execute();
  finished_ = true;
}

}  // namespace platform
