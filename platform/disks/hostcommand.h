#pragma once
// The host programs the disk layer and our disk tool drive (mkfs.vfat, mkfs.ntfs, fatlabel,
// ntfslabel, losetup, mount helpers): started without a shell, their output
// captured for the error line, waited for.

#include <string>
#include <vector>

namespace platform::disks {

struct CommandResult {
  int exitCode = -1;   // -1: could not be started
  std::string output;  // standard output and error together
};

CommandResult RunCommand(const std::vector<std::string>& argv);

}  // namespace platform::disks
