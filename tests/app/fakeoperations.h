#pragma once
// Operations for the window's tests, made through the creator's factory:
// each posts a script of progress messages from the worker thread and, after
// each, reads what the window shows (on the window thread, after the
// message was handled); or waits until it has been stopped a number of
// times. The end mark stays the real CompleteOperation.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "pipeline/basicoperation.h"
#include "pipeline/completeoperation.h"
#include "pipeline/opmessages.h"
#include "pipeline/win7inscreator.h"

namespace wiztest {

struct Message {
  bool images = false;  // WM_OPIMAGES (sent) instead of WM_OPSTATE (posted)
  int state = 0;
  platform::LPARAM value = 0;
};

// What the window showed after one message.
struct Shown {
  std::wstring percent;
  int bar = -1;
  std::wstring status;
};

class ScriptedOperation final : public BasicOperation {
 public:
  using Observe = std::function<Shown()>;
  ScriptedOperation(platform::HWND hWnd, std::vector<Message> script, int result, Observe observe,
                    std::vector<Shown>* shown, std::mutex* lock)
      : BasicOperation(hWnd, 0), m_script(std::move(script)), m_result(result), m_observe(std::move(observe)),
        m_shown(shown), m_lock(lock) {}
  int Excute() override {
    for (const Message& m : m_script) {
      if (m.images) platform::SendMessage(m_hWnd, WM_OPIMAGES, 0, m.value);
      else platform::PostMessage(m_hWnd, WM_OPSTATE, static_cast<platform::WPARAM>(m.state), m.value);
      if (!m_observe) continue;
      Shown seen;
      platform::Synchronize([&] { seen = m_observe(); });
      std::lock_guard<std::mutex> guard(*m_lock);
      m_shown->push_back(seen);
    }
    return m_result;
  }

 private:
  std::vector<Message> m_script;
  int m_result;
  Observe m_observe;
  std::vector<Shown>* m_shown;
  std::mutex* m_lock;
};

// Runs until it has been stopped `stopsNeeded` times, then succeeds (as a
// format or a driver injection finishes after a cancel).
class StubbornOperation final : public BasicOperation {
 public:
  StubbornOperation(std::atomic<int>* stops, int stopsNeeded, std::atomic<bool>* started = nullptr)
      : m_stops(stops), m_needed(stopsNeeded), m_started(started) {}
  int Excute() override {
    if (m_started) *m_started = true;
    while (m_stops->load() < m_needed) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
  }
  void Stop() override { ++*m_stops; }

 private:
  std::atomic<int>* m_stops;
  int m_needed;
  std::atomic<bool>* m_started;
};

// A factory that makes, for each step number, what `make` returns; the end
// mark (and any step `make` leaves out) becomes the real end mark.
inline Win7InsCreator::Factory StepFactory(
    std::function<std::unique_ptr<BasicOperation>(int step, platform::HWND hWnd)> make) {
  return [make](Win7InsCreator& creator) -> std::unique_ptr<BasicOperation> {
    const int step = creator.CurrentStep();
    if (step != -1)
      if (auto op = make(step, creator.Window())) return op;
    return std::make_unique<CompleteOperation>();
  };
}

}  // namespace wiztest
