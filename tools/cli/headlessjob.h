#pragma once
// One job of kestrunex-cli, as the wizard would run it: the checks of the
// source and target pages, the run's settings and work folder as the run
// page makes them, the worker thread with this thread as its main window,
// progress on the terminal, Ctrl+C as the Cancel button, and the window's
// clean-up of the work folder at the end.
//
// Exit codes: 0 success, 1 failure (a refused check included), 2 cancelled
// (the format warning answered no counts as a cancel: nothing was done).

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pipeline/win7operatinfo.h"
#include "tools/cli/clioptions.h"
#include "tools/cli/console.h"
#include "verify/productcheck.h"

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitCancelled = 2;

class HeadlessJob {
 public:
  HeadlessJob(const CliOptions& options, Console& console);

  // Runs the job on the calling thread, which becomes the window thread.
  int Run();

 private:
  // The source and target checks; false after saying why.
  bool CheckSource();
  bool CheckTarget();
  // The driver library holds a package for the source's architecture.
  bool CheckDrivers();
  // Runs the worker on the run's settings; info outlives it.
  int RunWorker(WIN7_OPERAT_INFO& info);
  void SayNewIsoFiles();
  // The verification pass on the worker; false after saying what the
  // product lost (or when cancelled).
  bool CheckProduct(const std::atomic<bool>& cancel);
  // After a failure or cancel: one line on what the stick or folder holds.
  void SayTargetState();

  CliOptions options_;
  Console& console_;
  std::wstring source_;
  std::wstring target_;
  int sizeMb_ = 0;
  bool compatible_ = false;
  std::unique_ptr<ProductCheck> check_;
  std::set<int> statesSeen_;  // the step states the run reported
  std::atomic<bool> checkCancelled_{false};  // set by the worker, read after it
  int refusal_ = kExitFailure;  // the exit code when a check stops the job
};
