#include "pipeline/steplists.h"

#include <array>
#include <mutex>

namespace {

constexpr size_t kListLength = 6;
using Table = std::array<std::array<int, kListLength>, kModeCount>;

constexpr Table kInitialLists = {{
    {5, 8, 9, 7, 19, kEndMark},
    {6, 3, 20, 16, 4, kEndMark},
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
    if (step == 16) step = 17;
    else if (step == 7) step = 18;
  }
}

void ResetStepListsForTesting() {
  std::lock_guard lock(g_mutex);
  g_lists = kInitialLists;
}
