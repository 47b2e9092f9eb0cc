#pragma once
// Where this machine's driver library lives. One library per machine, in
// the system's data folder (root-owned, readable by everyone), so the
// wizard under pkexec, kestrunex-cli under sudo and an ISO job without root
// all see the same packages. A machine profile may name a library of its
// own ([drivers] library = folder), as the sample machine does.

#include <string>

namespace drivers {

// The system's library.
inline constexpr const char* kSystemLibrary = "/var/lib/kestrunex/drivers";

struct LibraryPlace {
  std::string folder;         // absolute host path
  bool system = true;         // the system's library: changing it needs root
  bool samplesCount = false;  // sample packages count as drivers of a run
};

// The library of the current machine (platform::CurrentMachine()).
LibraryPlace CurrentLibraryPlace();

}  // namespace drivers
