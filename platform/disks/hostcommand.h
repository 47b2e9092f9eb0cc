#pragma once
// The host programs the disk layer and our disk tool drive (mkfs.vfat, mkfs.ntfs, fatlabel,
// ntfslabel, losetup, mount helpers): started without a shell through
// platform/process/hostprogram.h, their output captured (up to 1 MiB) for
// the error line, waited for (at most ten minutes, except the FUSE daemons,
// which get no timeout and SIGTERM as their death signal).
//
// argv[0] is a bare tool name. It is run from the system's own folders only
// (/usr/sbin, /usr/bin, /sbin, /bin: the first holding a regular executable
// file of that name that belongs to root and that nobody else can write),
// never through the caller's PATH, and with a clean environment (a fixed
// PATH of those folders and the C.UTF-8 locale): a root process runs the
// tool the system installed, configured by nobody but the system. A name
// with a slash, or one found nowhere, fails to start (exit code -1).

#include <string>
#include <vector>

namespace platform::disks {

struct CommandResult {
  int exitCode = -1;   // -1: could not be started
  std::string output;  // standard output and error together
};

CommandResult RunCommand(const std::vector<std::string>& argv);

// The host file RunCommand runs for a bare tool name; empty when none.
std::string SystemToolPath(const std::string& name);

}  // namespace platform::disks
