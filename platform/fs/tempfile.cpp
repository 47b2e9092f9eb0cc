#include "platform/fs/tempfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <ctime>

#include "platform/lasterror.h"
#include "platform/fs/paths.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr UINT kMaxUnique = 0xFFFF;
// Only we read and write our temporary files (a diskpart script says which
// disk to erase).
constexpr mode_t kTempFileMode = 0600;

// Drive paths through the drive namespace, relative ones from the current
// folder; an unresolvable path names nothing.
std::string HostPath(std::wstring_view path) {
  std::string host;
  return ResolvePath(path, host) ? host : std::string();
}

}  // namespace

UINT GetTempFileName(std::wstring_view folder, std::wstring_view prefix, std::wstring* name) {
  // Start from a value of the process and the clock, so concurrent callers
  // rarely collide; O_EXCL settles it when they do.
  UINT start = static_cast<UINT>((::getpid() * 31u + static_cast<UINT>(::time(nullptr))) % kMaxUnique) + 1;
  for (UINT i = 0; i < kMaxUnique; ++i) {
    UINT unique = (start + i - 1) % kMaxUnique + 1;
    wchar_t hex[8];
    std::swprintf(hex, 8, L"%X", unique);
    std::wstring path = std::wstring(folder) + L"\\" + std::wstring(prefix) + hex + L".tmp";
    int fd = ::open(HostPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kTempFileMode);
    if (fd >= 0) {
      ::close(fd);
      if (name) *name = path;
      return unique;
    }
    if (errno != EEXIST) {
      SetLastError(ErrorFromErrno(errno));
      return 0;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

bool RewriteExistingFile(std::wstring_view path, std::string_view bytes) {
  // Never through a link, and only a plain file of our own: whoever can
  // write the folder may have put something else in its place since.
  int fd = ::open(HostPath(path).c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(errno == ELOOP ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno));
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  bool ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (!ok) SetLastError(ERROR_SHARING_VIOLATION);
  if (ok && ::ftruncate(fd, 0) != 0) {
    SetLastError(ErrorFromErrno(errno));
    ok = false;
  }
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(n < 0 ? ErrorFromErrno(errno) : ERROR_WRITE_FAULT);
      ok = false;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  if (ok && ::fsync(fd) != 0) {
    SetLastError(ErrorFromErrno(errno));
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    SetLastError(ErrorFromErrno(errno));
    ok = false;
  }
  return ok;
}

}  // namespace platform
