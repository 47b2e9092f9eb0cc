#pragma once
// Files of the user a root process works for. When root runs on behalf of a
// user (sudo's SUDO_UID, pkexec's PKEXEC_UID), whatever came from that user
// (paths named on a command line, the ISO source, driver packages, a prefix
// the user owns and everything its profile names) is opened with the user's
// identity, so root reads, writes and partitions only what the user could.
//
// The opens are made by a small helper process that drops fully to the
// user (the user's group list, setresgid, setresuid; it checks that it
// cannot take root back) and hands each opened descriptor back over a UNIX
// socket. Nothing here changes the identity of the calling process: the
// file-system identity is per thread and the group list per process, so
// neither may change under the program's other threads.
//
// A process that is not root, or root with no invoker, opens directly.
// Descriptors opened here are used from then on, never reopened by path.
// Results are POSIX: a descriptor, or -1 with errno set (EPERM when the
// helper could not be started or could not drop to the user: nothing is
// opened as root in its place). Any thread may call.

#include <optional>
#include <string>

namespace platform::invoker {

// An owned descriptor, closed when it goes.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept;
  ~Fd();
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The user root runs for: PKEXEC_UID, else SUDO_UID, when this process is
// root and the number names a user other than root; nothing otherwise.
std::optional<unsigned> InvokerUid();
inline bool ActsForInvoker() { return InvokerUid().has_value(); }

// Opens an absolute path as the invoker (directly without one). O_CLOEXEC
// is always added; the caller adds O_NOFOLLOW, O_NONBLOCK, O_DIRECTORY.
int Open(const std::string& path, int flags, unsigned mode = 0);
// Opens name relative to the folder descriptor dir the same way.
int OpenAt(int dir, const std::string& name, int flags, unsigned mode = 0);
// Whether the invoker may write into the folder descriptor dir (create and
// remove names in it); true without an invoker.
bool MayWriteFolder(int dir);
// The same for a folder named by its absolute host path, opened as the
// invoker without following a link at its end: false with errno set when
// the invoker cannot open it (EACCES: may not write it).
bool InvokerMayWriteFolder(const std::string& folder);

// The descriptor's own path for programs this process starts
// ("/proc/<pid>/fd/N"): opening it reaches the very file of fd, not
// whatever a path to it names now.
std::string DescriptorPath(int fd);

}  // namespace platform::invoker
