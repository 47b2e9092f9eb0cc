#include "platform/windows/signalwatcher.h"

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace platform {

namespace {

constexpr long kLookNs = 200'000'000;  // how often the thread looks at stop_

sigset_t Watched() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
  const sigset_t set = Watched();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  thread_ = std::thread([this, set] {
    const timespec look{0, kLookNs};
    while (!stop_) {
      const int sig = ::sigtimedwait(&set, nullptr, &look);
      if (sig > 0 && !stop_) onSignal_(sig);
    }
  });
}

SignalWatcher::~SignalWatcher() {
  stop_ = true;
  thread_.join();
}

}  // namespace platform
