#pragma once
// The host's mount table (/proc/self/mountinfo), read on demand.

#include <string>
#include <vector>

namespace platform {

struct MountEntry {
  std::string mountPoint;
  std::string fsType;
  std::string source;  // device or pseudo source
};

std::vector<MountEntry> ReadMountTable(const std::string& file = "/proc/self/mountinfo");

// The file-system type of the mount holding a host folder ("" when unknown).
std::string HostFileSystemOf(const std::string& folder);

}  // namespace platform
