#pragma once
// The helper process behind invoker.h: what the program and the helper say
// to each other over their socket, and the helper's side.

#include <sys/types.h>

#include <climits>
#include <cstdint>
#include <vector>

namespace platform::invoker {

// The identity the helper takes, read before it is started (the group list
// needs the user database, which a child of a threaded process must not
// consult).
struct Identity {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;
};

enum class Operation : std::int32_t { kOpen = 1, kMayWriteFolder = 2 };

// One request per message; a folder descriptor travels beside it when
// hasFolder is set (names are then relative to it).
struct Request {
  Operation op = Operation::kOpen;
  std::int32_t flags = 0;
  std::uint32_t mode = 0;
  std::int32_t hasFolder = 0;
  char name[PATH_MAX] = {};
};

// The answer: 0 and the opened descriptor beside it, or an errno value.
struct Reply {
  std::int32_t error = 0;
};

// Runs in the forked child: takes who's identity for good, then serves
// requests on socket until the program closes its end. Ends the child with
// a non-zero status, serving nothing, when any part of the drop fails or
// root could be taken back. Only system calls: the child of a threaded
// process may not allocate.
[[noreturn]] void ServeAsInvoker(int socket, const Identity& who, pid_t parent);

// Sends a descriptor (or none when fd < 0) with one message; the count of
// bytes sent or -1.
ssize_t SendWithDescriptor(int socket, const void* data, size_t size, int fd);
// Receives one message and the descriptor beside it (-1 when none); the
// count of bytes received, 0 at the end, -1 on failure.
ssize_t ReceiveWithDescriptor(int socket, void* data, size_t size, int* fd);

}  // namespace platform::invoker
