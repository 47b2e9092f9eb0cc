#pragma once
// Host programs run by a root process (mkfs, losetup, the FUSE daemons,
// msiextract): every one through RunHostProgram, with what it may do spelt
// out in its options.
//
// What every run gets (see spawn.h for the child's side):
//   - the program by an absolute path to a regular executable file that
//     belongs to root and that nobody else can write; anything else is
//     refused before a child is made (a relative path would be looked up
//     in whatever folder we happen to be in);
//   - only the environment the options give (by default a fixed PATH of
//     the system's folders and the C.UTF-8 locale): nothing of the caller's;
//   - no signal blocked, the signals at their defaults, /dev/null as input,
//     no descriptor of ours;
//   - ended by the kernel when the calling thread ends (the call waits, so
//     that is when the program itself is killed).
// Quirks of the programs we run:
//   - the FUSE daemons (ntfs-3g, fusefat) fork into the background and the
//     foreground process exits once the mount is up; the daemon keeps none
//     of our descriptors, but a run never waits for the pipe after the
//     program itself has ended, so one that did could not hold us. They get
//     no timeout (a mount of a large volume takes what it takes) and
//     SIGTERM, not SIGKILL, as their death signal: on SIGTERM they unmount
//     and write out what they hold.
//
// Thread rules: any thread; the call blocks until the program has ended.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr std::size_t kHostOutputCap = 1u << 20;

// The environment a host program gets unless its options say otherwise.
std::vector<std::string> HostProgramEnvironment();

struct HostProgram {
  std::string path;               // absolute host path of the program
  std::vector<std::string> args;  // the arguments after argv[0]
  std::vector<std::string> environment = HostProgramEnvironment();
  // Bytes of output and error kept; the rest is read and dropped, so a
  // chatty program never blocks on a full pipe.
  std::size_t outputCap = kHostOutputCap;
  // RLIMIT_FSIZE in the child: no file it writes grows past this. 0: no cap.
  std::uint64_t maxFileBytes = 0;
  // Killed (SIGKILL) when it runs longer; none: waited for however long.
  std::optional<std::chrono::milliseconds> timeout;
  // The signal the kernel sends when the calling thread ends first.
  int deathSignal = 9;  // SIGKILL
};

struct HostProgramResult {
  bool started = false;
  int error = 0;        // errno when not started (EINVAL: not an absolute system path)
  int exitCode = -1;    // its exit status, 128 + signal when a signal ended it; -1 not started
  bool timedOut = false;
  bool truncated = false;  // output past the cap was dropped
  std::string output;      // standard output and error together, up to the cap
};

[[nodiscard]] HostProgramResult RunHostProgram(const HostProgram& program);

// True when path is absolute and names a regular executable file that
// belongs to root and that neither its group nor others can write.
[[nodiscard]] bool IsSystemProgram(const std::string& path);

}  // namespace platform
