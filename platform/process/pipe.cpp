#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/lasterror.h"
#include "platform/process/process.h"

namespace platform {

bool Pipe::Create(std::size_t bufferSize) {
  readFd_.reset();
  writeFd_.reset();
  int fds[2];
  // Close-on-exec: a child gets the write end only as its standard output,
  // never as a stray descriptor that would keep the pipe open after it ends.
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  readFd_.reset(fds[0]);
  writeFd_.reset(fds[1]);
  // The host caps pipe buffers (fs.pipe-max-size); a smaller buffer only
  // means the tool waits for us sooner, so a refusal is not a failure.
  const int size = bufferSize > INT_MAX ? INT_MAX : static_cast<int>(bufferSize);
  if (::fcntl(readFd_.get(), F_SETPIPE_SZ, size) < 0) {
    int max = 0;
    if (int fd = ::open("/proc/sys/fs/pipe-max-size", O_RDONLY | O_CLOEXEC); fd >= 0) {
      char text[32] = {};
      if (::read(fd, text, sizeof text - 1) > 0) max = std::atoi(text);
      ::close(fd);
    }
    if (max > 0 && max < size) ::fcntl(readFd_.get(), F_SETPIPE_SZ, max);
  }
  return true;
}

bool Pipe::Read(void* buffer, DWORD size, DWORD* read) {
  if (read) *read = 0;
  if (!readFd_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  ssize_t n;
  do {
    n = ::read(readFd_.get(), buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  if (n == 0) {
    SetLastError(ERROR_BROKEN_PIPE);
    return false;
  }
  if (read) *read = static_cast<DWORD>(n);
  return true;
}

DWORD Pipe::WaitForData(DWORD ms) {
  if (!readFd_) return WAIT_FAILED;
  pollfd p{readFd_.get(), POLLIN, 0};
  const int timeout = ms == INFINITE ? -1 : static_cast<int>(ms > INT_MAX ? INT_MAX : ms);
  int r;
  do {
    r = ::poll(&p, 1, timeout);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return WAIT_FAILED;
  return r == 0 ? WAIT_TIMEOUT : WAIT_OBJECT_0;
}

void Pipe::CloseWriteEnd() { writeFd_.reset(); }

}  // namespace platform
