#include "platform/invoker/invokerhelper.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform::invoker {

namespace {

constexpr int kServedSocket = 3;
constexpr int kDropFailed = 126;

bool DropTo(const Identity& who) {
  if (::setgroups(who.groups.size(), who.groups.data()) != 0) return false;
  if (::setresgid(who.gid, who.gid, who.gid) != 0) return false;
  if (::setresuid(who.uid, who.uid, who.uid) != 0) return false;
  // Nothing of root may be left to take back.
  if (::setresuid(0, 0, 0) == 0 || ::setresgid(0, 0, 0) == 0 || ::setgroups(0, nullptr) == 0) return false;
  uid_t ruid, euid, suid;
  gid_t rgid, egid, sgid;
  if (::getresuid(&ruid, &euid, &suid) != 0 || ::getresgid(&rgid, &egid, &sgid) != 0) return false;
  if (ruid != who.uid || euid != who.uid || suid != who.uid) return false;
  if (rgid != who.gid || egid != who.gid || sgid != who.gid) return false;
  // The user may not trace it: it briefly holds descriptors the program
  // hands it.
  return ::prctl(PR_SET_DUMPABLE, 0) == 0 && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

void Serve(int socket) {
  for (;;) {
    Request request;
    int folder = -1;
    const ssize_t got = ReceiveWithDescriptor(socket, &request, sizeof request, &folder);
    if (got == 0) return;
    if (got < 0 && errno == EINTR) continue;
    if (got != static_cast<ssize_t>(sizeof request) || (request.hasFolder != 0) != (folder >= 0)) {
      if (folder >= 0) ::close(folder);
      return;
    }
    request.name[sizeof request.name - 1] = '\0';
    const int base = folder >= 0 ? folder : AT_FDCWD;
    Reply reply;
    int opened = -1;
    if (request.op == Operation::kOpen) {
      opened = ::openat(base, request.name, request.flags | O_CLOEXEC | O_NOCTTY, request.mode);
      if (opened < 0) reply.error = errno;
    } else if (request.op == Operation::kMayWriteFolder && folder >= 0) {
      if (::faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) reply.error = errno;
    } else {
      reply.error = EINVAL;
    }
    if (folder >= 0) ::close(folder);
    const ssize_t sent = SendWithDescriptor(socket, &reply, sizeof reply, opened);
    if (opened >= 0) ::close(opened);
    if (sent != static_cast<ssize_t>(sizeof reply)) return;
  }
}

}  // namespace

ssize_t SendWithDescriptor(int socket, const void* data, size_t size, int fd) {
  iovec io{const_cast<void*>(data), size};
  msghdr message{};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (fd >= 0) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
  }
  ssize_t n;
  do n = ::sendmsg(socket, &message, MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  return n;
}

ssize_t ReceiveWithDescriptor(int socket, void* data, size_t size, int* fd) {
  *fd = -1;
  iovec io{data, size};
  msghdr message{};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  if (n < 0) return n;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header))
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
        header->cmsg_len == CMSG_LEN(sizeof(int)))
      std::memcpy(fd, CMSG_DATA(header), sizeof *fd);
  if ((message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
    errno = EMSGSIZE;
    return -1;
  }
  return n;
}

void ServeAsInvoker(int socket, const Identity& who, pid_t parent) {
  // It ends with the program through its socket: whatever ends the program
  // closes the other end (descriptors are closed on exec in any tool it
  // starts), and the read below returns. No parent-death signal: the kernel
  // sends that when the forking thread ends, which may be a worker's.
  if (::getppid() != parent) ::_exit(kDropFailed);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Nothing the program had open stays with the helper but its socket.
  if (socket != kServedSocket && ::dup2(socket, kServedSocket) != kServedSocket) ::_exit(kDropFailed);
  if (::close_range(0, kServedSocket - 1, 0) != 0 || ::close_range(kServedSocket + 1, ~0U, 0) != 0)
    ::_exit(kDropFailed);
  if (!DropTo(who)) ::_exit(kDropFailed);
  Serve(kServedSocket);
  ::_exit(0);
}

}  // namespace platform::invoker
