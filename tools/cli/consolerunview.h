#pragma once
// What the main window shows of a run, on the terminal: the status text and
// the percentage of every WM_OPSTATE and WM_OPIMAGES, through the display
// arithmetic the wizard uses (ProgressDisplay), one line per change; and
// the run's end as the worker reports it. Window thread only.

#include <optional>
#include <set>
#include <string>

#include "pipeline/runresultview.h"
#include "platform/types.h"
#include "tools/cli/console.h"

class ConsoleRunView final : public RunResultView {
 public:
  ConsoleRunView(Console& console, int mode);

  // The window's handlers of WM_OPSTATE and WM_OPIMAGES.
  void OnOpState(int state, platform::LPARAM value);
  void OnOpImages(platform::LPARAM images);

  std::wstring StatusText() const override { return status_; }
  void SetStatusText(const std::wstring& text) override;
  void ShowResult(int result) override;

  // The status of the last step the worker reported (what failed, when the
  // run fails).
  const std::wstring& StepStatus() const { return stepStatus_; }
  // The result the worker reported; empty while the run goes on.
  std::optional<int> Result() const { return result_; }
  // Every step state the run reported so far.
  const std::set<int>& StatesSeen() const { return seen_; }

 private:
  void Show();

  Console& console_;
  int mode_;
  std::wstring status_;
  std::wstring stepStatus_;
  int percent_ = 0;
  std::wstring shown_;
  std::optional<int> result_;
  std::set<int> seen_;
};
