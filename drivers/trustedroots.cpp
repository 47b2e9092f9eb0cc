#include "drivers/trustedroots.h"

#include <algorithm>

#include "platform/fs/readfile.h"
#include "platform/fs/sysfolders.h"
#include "platform/machine/machine.h"

namespace drivers {
namespace {

constexpr const wchar_t* kProgramList = L"drivers\\trusted-roots";
constexpr std::size_t kListLimit = 1u << 20;

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

TrustedRoots TrustedRoots::Parse(std::string_view text) {
  TrustedRoots roots;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    // `openssl x509 -subject` prints "subject=" before the name.
    if (line.rfind("subject=", 0) == 0) line = Trim(line.substr(8));
    if (!line.empty() && line.front() != '#') roots.names_.push_back(Lower(line));
  }
  return roots;
}

void TrustedRoots::Add(const TrustedRoots& more) { names_.insert(names_.end(), more.names_.begin(), more.names_.end()); }

bool TrustedRoots::Accepts(std::string_view name) const {
  const std::string lower = Lower(name);
  return !lower.empty() && std::find(names_.begin(), names_.end(), lower) != names_.end();
}

TrustedRoots CurrentTrustedRoots() {
  TrustedRoots roots;
  std::string bytes;
  if (platform::ReadSystemFile(platform::GetProgramFolder() + kProgramList, bytes, kListLimit) == 0)
    roots = TrustedRoots::Parse(bytes);
  const platform::Machine& machine = platform::CurrentMachine();
  if (!machine.DriverLibrary().empty() && !machine.DriverRoots().empty() &&
      platform::ReadHostFile(machine.DriverRoots(), bytes, kListLimit) == 0)
    roots.Add(TrustedRoots::Parse(bytes));
  return roots;
}

}  // namespace drivers
