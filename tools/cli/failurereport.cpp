#include "tools/cli/failurereport.h"

#include <vector>

#include "config/ovmultilangdll.h"
#include "disk/tracelines.h"
#include "platform/fs/readfile.h"
#include "platform/text.h"

namespace {

// The end of the log that is read: far more than one run's last lines.
constexpr std::size_t kTailBytes = 64 * 1024;

std::string ReadTail(const std::string& path) {
  std::string bytes;
  static_cast<void>(platform::ReadHostFileTail(path, bytes, kTailBytes));  // nothing read: no line to show
  return bytes;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::string LastStepTraceLine(std::string_view log) {
  std::vector<std::string_view> lines;
  while (!log.empty()) {
    const std::size_t end = log.find('\n');
    std::string_view line = log.substr(0, end);
    while (!line.empty() && (line.back() == '\r')) line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    if (end == std::string_view::npos) break;
    log.remove_prefix(end + 1);
  }
  std::size_t fail = lines.size();
  while (fail > 0 && lines[fail - 1].find(kRunFailedLine) == std::string_view::npos) --fail;
  if (fail == 0) return {};
  for (std::size_t i = fail - 1; i > 0; --i) {
    const std::string_view line = lines[i - 1];
    if (EndsWith(line, kReleaseSuffix) || EndsWith(line, kRepeatedFailureSuffix) ||
        line.find(kRunEndTag) != std::string_view::npos)
      continue;
    return std::string(line);
  }
  return {};
}

void ReportFailedStep(Console& console, const std::wstring& stepStatus, const std::string& logHostPath) {
  console.Complain(Translate(L"Cli Failed Step") + L" " + stepStatus);
  const std::string line = LastStepTraceLine(ReadTail(logHostPath));
  if (!line.empty()) console.Complain(Translate(L"Cli Last Trace Line") + L" " + platform::PrintableText(platform::WideFromAnsi(line)));
}
