#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/lasterror.h"
#include "platform/process/process.h"
#include "platform/text.h"
#include "platform/number.h"

namespace platform {

namespace {

// Tries of the open-or-create cycle: another process may create or remove
// the file between our two opens.
constexpr int kOpenAttempts = 8;
// Everyone can read the file, which is all flock needs; nobody but its
// creator writes it, and we never change its mode afterwards.
constexpr mode_t kLockFileMode = 0644;

// A folder every process of the machine can create a file in but nobody can
// replace another user's file in: root's, sticky, not a link. /run/lock is
// the host's place for such locks; /tmp stands in where it is missing.
bool IsSharedStickyFolder(const char* folder) {
  struct stat st;
  return ::lstat(folder, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == 0 && (st.st_mode & S_ISVTX) != 0;
}

std::string LockFolder() {
  for (const char* base : {"/run/lock", "/tmp"})
    if (IsSharedStickyFolder(base)) return base;
  return {};
}

// A name as a file name: path separators cannot stand in it.
std::string LockFileName(const std::wstring& name) {
  std::string file = AnsiFromWide(name);
  for (char& c : file)
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  return "kestrunex-" + file + ".lock";
}

// Opens the lock file without following a link and without changing
// anything about a file that is already there: -1 with errno set.
int OpenLockFile(const std::string& path) {
  constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    int fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, kLockFileMode);
    if (fd < 0 && errno == EEXIST) continue;  // made by another process meanwhile
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      errno = EINVAL;
      return -1;
    }
    return fd;
  }
  errno = EEXIST;
  return -1;
}

// The process holding an flock on the file open as fd, from /proc/locks
// ("1: FLOCK  ADVISORY  WRITE 4711 08:01:1234 0 EOF"); 0 when not found.
int FlockHolder(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return 0;
  const std::string wanted = [&] {
    char text[64];
    std::snprintf(text, sizeof text, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    return std::string(text);
  }();
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, file;
    if (!(fields >> number >> kind >> mode >> access >> pid >> file)) continue;
    if (kind != "FLOCK" || file != wanted) continue;
    return ParseNumber<int>(pid).value_or(0);
  }
  return 0;
}

}  // namespace

std::string NamedMutex::HostFile(const std::wstring& name) {
  const std::string folder = LockFolder();
  return folder.empty() ? std::string() : folder + "/" + LockFileName(name);
}

NamedMutex::NamedMutex(const std::wstring& name) {
  const std::string path = HostFile(name);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return;
  }
  // flock belongs to the open file: the kernel drops it when the last
  // descriptor closes, which includes the process being killed. Close-on-
  // exec keeps a child tool from holding it after we are gone.
  int fd = OpenLockFile(path);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    if (err == EWOULDBLOCK) holder_ = FlockHolder(fd);
    ::close(fd);
    SetLastError(err == EWOULDBLOCK ? ERROR_ALREADY_EXISTS : ErrorFromErrno(err));
    return;
  }
  fd_ = fd;
}

NamedMutex::~NamedMutex() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace platform
