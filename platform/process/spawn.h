#pragma once
// The one place a child process is made. Both starters use it: Process
// (the system's tools by command line) and RunHostProgram (host programs by
// absolute path). What every child gets, whoever starts it:
//   - no signal blocked and every handled or common signal at its default
//     (we block SIGINT/SIGTERM/SIGHUP on threads that wait for them; a
//     child that inherited that mask could not be interrupted);
//   - standard input from /dev/null, output and error to outputFd (or
//     /dev/null), no other descriptor of ours (a pipe of another tool held
//     open would never report its end; our lock must end with us);
//   - the kernel's death signal: the child is ended when the thread that
//     made it ends, and so when the program is killed outright. The child
//     asks for it itself and then looks whether its parent is still there,
//     so a parent that died between the fork and that request is noticed.
//     Callers start a child on a thread that outlives it (both starters
//     wait on the starting thread, or document that they must).
//   - optionally its own process group and a cap on the size of files it
//     writes (RLIMIT_FSIZE: a write past it fails with EFBIG).

#include <sys/types.h>

#include <cstdint>

namespace platform {

struct ChildSpawn {
  const char* program = nullptr;  // host path, run as it is (no search)
  char* const* argv = nullptr;    // null-terminated, argv[0] included
  char* const* envp = nullptr;    // null-terminated: the child's whole environment
  int outputFd = -1;              // standard output and error; -1: /dev/null
  bool ownGroup = true;           // out of the terminal's Ctrl+C
  std::uint64_t maxFileBytes = 0;  // RLIMIT_FSIZE; 0: no cap
  int deathSignal = 9;            // sent when the starting thread ends (SIGKILL)
};

// Starts the child; its pid, or -1 with errno set (the exec's own error
// when the program could not be run).
pid_t SpawnChild(const ChildSpawn& spawn);

// A process descriptor of the child (pidfd_open: readable once it has
// ended), or -1 where the kernel has none; callers then poll its status.
int OpenPidFd(pid_t pid);

}  // namespace platform
