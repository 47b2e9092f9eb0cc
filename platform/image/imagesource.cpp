#include "platform/image/imagesource.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/invoker/invoker.h"

namespace platform::image {

ImageSource::~ImageSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool ImageSource::Open(const std::string& hostPath, std::string& error, bool asInvoker) {
  // Non-blocking: a pipe named as an image must not hold the open.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  const int fd = asInvoker ? invoker::Open(hostPath, kFlags) : ::open(hostPath.c_str(), kFlags);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat st;
  std::uint64_t size = 0;
  if (::fstat(fd, &st) != 0) {
    error = std::strerror(errno);
  } else if (S_ISREG(st.st_mode)) {
    size = static_cast<std::uint64_t>(st.st_size);
  } else if (S_ISBLK(st.st_mode)) {
    if (::ioctl(fd, BLKGETSIZE64, &size) != 0) error = std::strerror(errno);
  } else {
    error = S_ISDIR(st.st_mode) ? "is a folder, not an image file" : "is a device, pipe or socket, not an image file";
  }
  if (!error.empty()) {
    ::close(fd);
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  fd_ = fd;
  size_ = size;
  return true;
}

void ImageSource::Use(ReadFunction read, std::uint64_t size) {
  read_ = std::move(read);
  size_ = size;
}

bool ImageSource::ReadExact(std::uint64_t offset, void* buffer, std::size_t n) const {
  if (offset > size_ || n > size_ - offset) return false;
  auto* p = static_cast<char*>(buffer);
  while (n > 0) {
    const std::int64_t r = read_ ? read_(offset, p, n) : ::pread(fd_, p, n, static_cast<off_t>(offset));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    offset += static_cast<std::uint64_t>(r);
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

}  // namespace platform::image
