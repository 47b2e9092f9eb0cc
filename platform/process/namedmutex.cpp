#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/lasterror.h"
#include "platform/process/process.h"
#include "platform/text.h"

namespace platform {

namespace {

// One folder for the whole machine, whoever runs the program: /run/lock is
// the host's place for such locks; /tmp stands in where it is missing.
std::string LockFolder() {
  for (const char* base : {"/run/lock", "/tmp"}) {
    if (::access(base, W_OK | X_OK) != 0) continue;
    std::string folder = std::string(base) + "/kestrunex";
    if (::mkdir(folder.c_str(), 01777) == 0) ::chmod(folder.c_str(), 01777);
    if (::access(folder.c_str(), W_OK | X_OK) == 0) return folder;
  }
  return "/tmp";
}

// A name as a file name: path separators cannot stand in it.
std::string LockFileName(const std::wstring& name) {
  std::string file = AnsiFromWide(name);
  for (char& c : file)
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  return file + ".lock";
}

}  // namespace

std::string NamedMutex::HostFile(const std::wstring& name) { return LockFolder() + "/" + LockFileName(name); }

NamedMutex::NamedMutex(const std::wstring& name) {
  const std::string path = HostFile(name);
  // flock belongs to the open file: the kernel drops it when the last
  // descriptor closes, which includes the process being killed. Close-on-
  // exec keeps a child tool from holding it after we are gone.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return;
  }
  ::fchmod(fd, 0666);  // another user's instance must be able to open it too
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
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
