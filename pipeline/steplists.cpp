#include "pipeline/steplists.h"

#include <array>
#include <mutex>

#include "pipeline/steptable.h"

namespace {

constexpr size_t kListLength = 6;
using Table = std::array<std::array<int, kListLength>, kModeCount>;

constexpr Table kInitialLists = {{
    {kStepFormatStick, kStepCopySourceToTarget, kStepBootWimOnTarget, kStepCopyOsToTarget, kStepCopyOtherToTarget,
     kEndMark},
    {kStepCopySourceToWork, kStepBootWimInWork, kStepCopyOtherToWork, kStepCopyOsToWork, kStepMakeIso, kEndMark},
}};

std::mutex g_mutex;
Table g_lists = kInitialLists;

}  // namespace

std::vector<int> StepList(int mode) {
  if (mode < 0 || mode >= kModeCount) return {};
  std::lock_guard lock(g_mutex);
  const auto& list = g_lists[static_cast<size_t>(mode)];
  return std::vector<int>(list.begin(), list.end());
}

void SubstituteInstallWimSteps(int mode) {
  if (mode < 0 || mode >= kModeCount) return;
  std::lock_guard lock(g_mutex);
  for (int& step : g_lists[static_cast<size_t>(mode)]) {
    const StepRow* row = FindStep(step);
    if (row && row->substitute != 0) step = row->substitute;
  }
}

void ResetStepListsForTesting() {
  std::lock_guard lock(g_mutex);
  g_lists = kInitialLists;
}
