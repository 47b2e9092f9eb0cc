#include "platform/disks/hostcommand.h"

#include <signal.h>

#include <chrono>

#include "platform/process/hostprogram.h"

namespace platform::disks {

namespace {

constexpr const char* kSystemToolFolders[] = {"/usr/sbin", "/usr/bin", "/sbin", "/bin"};
// The FUSE daemons: no timeout, and ended with SIGTERM so they unmount.
constexpr const char* kFileSystemDaemons[] = {"ntfs-3g", "fusefat"};
// Every other tool here ends in seconds (mkfs -Q, losetup, fusermount);
// one that hangs (a device that stopped answering) must not hold the run.
constexpr std::chrono::minutes kToolTimeout{10};

bool IsFileSystemDaemon(const std::string& name) {
  for (const char* daemon : kFileSystemDaemons)
    if (name == daemon) return true;
  return false;
}

}  // namespace

std::string SystemToolPath(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return {};
  for (const char* folder : kSystemToolFolders) {
    const std::string path = std::string(folder) + "/" + name;
    if (IsSystemProgram(path)) return path;
  }
  return {};
}

CommandResult RunCommand(const std::vector<std::string>& argv) {
  CommandResult result;
  if (argv.empty()) return result;
  HostProgram program;
  program.path = SystemToolPath(argv[0]);
  if (program.path.empty()) {
    result.output = argv[0] + ": not found in the system's program folders";
    return result;
  }
  program.args.assign(argv.begin() + 1, argv.end());
  if (IsFileSystemDaemon(argv[0])) program.deathSignal = SIGTERM;
  else program.timeout = kToolTimeout;
  HostProgramResult run = RunHostProgram(program);
  if (!run.started) {
    result.output = argv[0] + ": cannot be started";
    return result;
  }
  result.exitCode = run.exitCode;
  result.output = std::move(run.output);
  if (run.timedOut) result.output += "\n" + argv[0] + ": stopped after " + std::to_string(kToolTimeout.count()) + " minutes";
  return result;
}

}  // namespace platform::disks
