#include "platform/dism/wimversions.h"

#include <cwchar>
#include <optional>

#include "platform/dism/wimfile.h"
#include "platform/fs/paths.h"

namespace platform::dism {

namespace {

// A version number of the XML data; nullopt when it is absent or not a
// plain decimal number.
std::optional<unsigned> Number(const WimFile& wim, int image, const char* name) {
  const std::optional<std::wstring> text = wim.Property(image, name);
  if (!text || text->empty() || text->size() > 9) return std::nullopt;
  unsigned value = 0;
  for (wchar_t c : *text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  return value;
}

}  // namespace

bool ReadWimWindowsVersions(std::wstring_view systemPath, std::vector<WimWindowsVersion>& versions) {
  versions.clear();
  std::string host;
  if (!ResolvePath(systemPath, host)) return false;
  WimFile wim;
  if (wim.Open(host, false) != 0) return false;
  for (int image = 1; image <= wim.ImageCount(); ++image) {
    const auto major = Number(wim, image, "WINDOWS/VERSION/MAJOR");
    const auto minor = Number(wim, image, "WINDOWS/VERSION/MINOR");
    if (!major || !minor) continue;
    versions.push_back({wim.ImageName(image), *major, *minor, Number(wim, image, "WINDOWS/VERSION/BUILD").value_or(0)});
  }
  return true;
}

}  // namespace platform::dism
