#pragma once
// The ISO runner: starts the ISO tool with its output in a pipe, reads the
// output on a reader thread while the caller waits, turns the tool's
// "NN% complete" lines into percentages, and terminates the tool on cancel.
// One instance per process (Instance), made on first use, never destroyed.
//
// A run's cancel event belongs to the run: BeginRun makes it (the ISO step
// calls it when it begins, so a cancel at any moment after that reaches the
// run, even one that comes before the tool has started), and Cancle
// signals it. Before any run Cancle signals nothing.
//
// Thread rules: SetCmd, BeginRun and Excute on the worker thread; Cancle
// from any thread at any time. The callback runs on the reader thread.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/process/process.h"

// The progress in one chunk of the tool's output: the number in front of its
// first "% complete" (the three characters before it, or all of them when
// fewer), read as a signed decimal (leading blanks skipped, digits up to the
// first non-digit, 0 when there are none). -1 when the chunk has no
// "% complete".
int IsoProgressValue(std::wstring_view chunk);

class MakeISOFile {
 public:
  // value: a percentage, or 0 on failure and on cancel; data: the caller's.
  using Callback = void (*)(int value, void* data);

  static MakeISOFile& Instance();

  // The command line of the next run.
  void SetCmd(const std::wstring& cmd);
  // Makes the next run's cancel event, not signalled. Excute makes one
  // itself when no run has begun since the last Excute.
  void BeginRun();
  // Runs the tool and waits for it. True when the tool ended with code 0
  // or was cancelled; false when it could not be started (no pipe, a
  // command line of 2,048 characters or more, no program) or ended with
  // another code.
  bool Excute(Callback callback, void* data);
  // Signals the current run's cancel event.
  void Cancle();

  // Tests: runs on the reader thread after the last cancel check before the
  // tool starts, so a test can cancel "while the tool is being started".
  void SetBeforeStartHook(std::function<void()> hook);

 private:
  MakeISOFile() = default;
  void MakeISOThread(Callback callback, void* data);
  void Fail(Callback callback, void* data, platform::DWORD exitCode);
  // Waits for the tool's end while watching the cancel event: true when it
  // ended, false when the run was cancelled (the tool then terminated).
  bool AwaitEnd(platform::Process& tool, platform::Pipe& pipe, const platform::Event& cancel, Callback callback,
                void* data);
  std::shared_ptr<platform::Event> CurrentEvent();

  std::wstring m_cmd;
  std::mutex m_Lock;  // m_cmd, m_Cancel, m_BeforeStart
  std::shared_ptr<platform::Event> m_Cancel;
  bool m_RunBegun = false;
  std::atomic<bool> m_bSuccess{false};
  std::function<void()> m_BeforeStart;
};
