#include <dirent.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/lasterror.h"
#include "platform/number.h"
#include "platform/process/process.h"
#include "platform/text.h"

#ifndef KX_LOCK_NAME_SUFFIX
#define KX_LOCK_NAME_SUFFIX ""
#endif

namespace platform {

namespace {

// Lines of /proc/net/unix longer than this are not ours (an abstract name
// is at most 107 bytes).
constexpr std::size_t kMaxTableLine = 4096;

// A name as the socket's: the bytes after the leading NUL of the address.
// Separators and NULs cannot stand in it, so the table shows it as written.
std::string SocketName(const std::wstring& name) {
  std::string text = AnsiFromWide(name);
  for (char& c : text)
    if (c == '/' || c == '\\' || c == '\0' || c == ' ' || c == '\n') c = '_';
  return "kestrunex-" + text + KX_LOCK_NAME_SUFFIX;
}

// The inode of the listening socket bound to the abstract name, from
// /proc/net/unix ("0000...: 00000002 00000000 00010000 0001 01 41232 @kestrunex-KESTRUNE");
// 0 when it is not listed. The table is the reader's network namespace's.
unsigned long SocketInode(const std::string& name) {
  std::ifstream table("/proc/net/unix");
  std::string line;
  while (std::getline(table, line)) {
    if (line.size() > kMaxTableLine) continue;
    std::istringstream fields(line);
    std::string slot, refs, protocol, flags, type, state, inode, path;
    if (!(fields >> slot >> refs >> protocol >> flags >> type >> state >> inode >> path)) continue;
    if (path == "@" + name) return ParseNumber<unsigned long>(inode).value_or(0);
  }
  return 0;
}

// The process with a descriptor of that socket: /proc/<pid>/fd/* reads
// "socket:[<inode>]". Another user's descriptors are hidden from a process
// without root, so their holder stays unnamed (0).
int SocketOwner(unsigned long inode) {
  if (inode == 0) return 0;
  const std::string wanted = "socket:[" + std::to_string(inode) + "]";
  DIR* proc = ::opendir("/proc");
  if (!proc) return 0;
  int owner = 0;
  while (dirent* entry = ::readdir(proc)) {
    const auto pid = ParseNumber<int>(entry->d_name);
    if (!pid || *pid == ::getpid()) continue;
    const std::string folder = std::string("/proc/") + entry->d_name + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (!fds) continue;
    while (dirent* fd = ::readdir(fds)) {
      char target[64];
      const ssize_t n = ::readlinkat(::dirfd(fds), fd->d_name, target, sizeof target - 1);
      if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == wanted) {
        owner = *pid;
        break;
      }
    }
    ::closedir(fds);
    if (owner) break;
  }
  ::closedir(proc);
  return owner;
}

}  // namespace

std::string NamedMutex::SocketName(const std::wstring& name) { return platform::SocketName(name); }

NamedMutex::NamedMutex(const std::wstring& name) {
  // An abstract address has no file: nothing to link, fill, chmod or plant,
  // and the kernel unbinds it when the last descriptor closes, which
  // includes the process being killed. Close-on-exec keeps a child tool
  // from holding it after we are gone. Any user's process may bind it; the
  // first wins, so a run without root and one with root exclude each other.
  const std::string socketName = platform::SocketName(name);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketName.size() + 1 > sizeof address.sun_path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return;
  }
  std::memcpy(address.sun_path + 1, socketName.data(), socketName.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + socketName.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return;
  }
  // Listening makes the holder show in /proc/net/unix with its inode; no
  // connection is ever accepted.
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(fd, 0) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EADDRINUSE) holder_ = SocketOwner(SocketInode(socketName));
    SetLastError(err == EADDRINUSE ? ERROR_ALREADY_EXISTS : ErrorFromErrno(err));
    return;
  }
  fd_ = fd;
}

NamedMutex::~NamedMutex() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace platform
