#include "tools/cli/consolerunview.h"

#include <algorithm>

#include "config/ovmultilangdll.h"
#include "pipeline/opmessages.h"
#include "pipeline/progressdisplay.h"

namespace {
constexpr int kBarCells = 30;
constexpr int kFullPercent = 100;
}  // namespace

ConsoleRunView::ConsoleRunView(Console& console, int mode) : console_(console), mode_(mode) {}

void ConsoleRunView::OnOpState(int state, platform::LPARAM value) {
  seen_.insert(state);
  const std::wstring key = StateTextKey(state);
  if (!key.empty()) status_ = stepStatus_ = Translate(key);
  percent_ = ProgressDisplay::Instance().OnState(mode_, state, value);
  Show();
}

void ConsoleRunView::OnOpImages(platform::LPARAM images) { ProgressDisplay::Instance().OnImages(images); }

void ConsoleRunView::SetStatusText(const std::wstring& text) {
  status_ = text;
  Show();
}

void ConsoleRunView::ShowResult(int result) {
  result_ = result;
  console_.Finish();
}

void ConsoleRunView::Show() {
  // The percentage as the window's label shows it ("%i"), clamped only for
  // drawing the bar.
  std::wstring line = std::to_wstring(percent_) + L"%";
  if (console_.OutputIsTerminal()) {
    const int filled = std::max(0, std::min(percent_, kFullPercent)) * kBarCells / kFullPercent;
    line = L"[" + std::wstring(filled, L'#') + std::wstring(kBarCells - filled, L'-') + L"] " + line;
  }
  line += L"  " + status_;
  if (line == shown_) return;
  shown_ = line;
  console_.Progress(line);
}
