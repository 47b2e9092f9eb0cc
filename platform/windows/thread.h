#pragma once
// A thread object in the framework's manner: a body (Execute) that runs on
// its own thread, a Terminated flag the body polls, a way to park the thread
// from inside the body and wake it from outside, and a synchronous call onto
// the window thread. The object owns its thread: destruction ends and joins
// it.
//
// Thread rules: Resume, Terminate and WaitFor are called from other threads
// (usually the window thread); Suspend only by the body itself. A derived
// class whose Execute touches its own members must call EndAndWait in its
// own destructor, before those members go away; the base destructor does it
// again, harmlessly. Never destroy the object from the window thread while
// its body waits in Synchronize: the two would wait for each other.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

class Thread {
 public:
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the thread on its first call; later wakes it from Suspend. A
  // Resume that arrives while the body is still running is kept, so the
  // body's next Suspend returns at once instead of losing the wake-up.
  void Resume();
  // Asks the body to end; it sees Terminated() at its next check.
  void Terminate();
  // Waits until the body has returned; at once when it never started.
  void WaitFor();
  // Terminate, wake the thread wherever it is parked, and wait for it.
  void EndAndWait();

  bool Terminated() const { return terminated_.load(); }
  // True while the body is parked in Suspend.
  bool Parked() const;
  // True once the body has returned.
  bool Finished() const { return finished_.load(); }

 protected:
  // The thread is made suspended: nothing runs until the first Resume (a
  // derived class resumes at the end of its own constructor when it was
  // asked to start at once, since the body must not run half-built).
  Thread() = default;

  virtual void Execute() = 0;

  // Parks the calling body until Resume or Terminate; body's thread only.
  void Suspend();
  // Runs fn on the window thread and returns when it has finished
  // (platform::Synchronize).
  static void Synchronize(const std::function<void()>& fn);

 private:
  void Run();

  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool started_ = false;
  bool resumePending_ = false;
  bool parked_ = false;
};

}  // namespace platform
