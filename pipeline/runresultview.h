#pragma once
// What the worker thread needs of the main window to report a run's end:
// the status label and the result display. Called on the window thread only
// (the worker reaches it through a synchronous call).

#include <string>

// Codes of ShowResult.
inline constexpr int kRunSucceeded = 0;
inline constexpr int kRunFailed = 1;
inline constexpr int kRunCancelled = 2;

class RunResultView {
 public:
  virtual ~RunResultView() = default;
  // The status label's current text (the last state's text while a run goes).
  virtual std::wstring StatusText() const = 0;
  virtual void SetStatusText(const std::wstring& text) = 0;
  // Called exactly once per run, after the run's last progress message was
  // handled: kRunSucceeded, kRunFailed or kRunCancelled.
  virtual void ShowResult(int result) = 0;
};
