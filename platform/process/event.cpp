#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/process/process.h"

namespace platform {

struct Event::State {
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  bool signalled = false;
};

Event::Event(bool signalled) : state_(std::make_unique<State>()) { state_->signalled = signalled; }
Event::~Event() = default;

void Event::Set() {
  {
    std::lock_guard lock(state_->mutex);
    state_->signalled = true;
  }
  state_->changed.notify_all();
}

void Event::Reset() {
  std::lock_guard lock(state_->mutex);
  state_->signalled = false;
}

bool Event::IsSet() const {
  std::lock_guard lock(state_->mutex);
  return state_->signalled;
}

DWORD Event::Wait(DWORD ms) const {
  std::unique_lock lock(state_->mutex);
  auto isSet = [this] { return state_->signalled; };
  if (ms == INFINITE) {
    state_->changed.wait(lock, isSet);
    return WAIT_OBJECT_0;
  }
  return state_->changed.wait_for(lock, std::chrono::milliseconds(ms), isSet) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

}  // namespace platform
