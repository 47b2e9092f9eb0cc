#include "platform/uniquefd.h"

#include <unistd.h>

namespace platform {

void UniqueFd::reset(int fd) {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

bool UniqueFd::Close() {
  // Linux releases the descriptor even when close reports an error (EINTR
  // included), so it is never closed twice.
  return fd_ < 0 || ::close(std::exchange(fd_, -1)) == 0;
}

}  // namespace platform
