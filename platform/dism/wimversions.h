#pragma once
// Which Windows the images of a WIM file hold, as the WIM's own XML data
// says it (WINDOWS/VERSION of each image): what a medium's install.wim
// offers, before anything is written.

#include <string>
#include <string_view>
#include <vector>

namespace platform::dism {

struct WimWindowsVersion {
  std::wstring name;  // the image's name ("Windows 10 Pro")
  unsigned major = 0, minor = 0, build = 0;
};

// The images that name a Windows version, in image order; an image without
// one is left out. False when the file has no host path (a file of an image
// drive) or cannot be opened as a WIM: nothing is known then.
[[nodiscard]] bool ReadWimWindowsVersions(std::wstring_view systemPath, std::vector<WimWindowsVersion>& versions);

}  // namespace platform::dism
