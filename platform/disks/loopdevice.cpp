#include "platform/disks/loopdevice.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/uniquefd.h"

namespace platform::disks {

namespace {

// Another program may take the free device between asking and attaching.
constexpr int kAttempts = 16;

using Descriptor = UniqueFd;

// 0, or the errno of the attachment.
int Attach(int loop, int fd, std::int64_t offset, std::int64_t length) {
  loop_config config{};
  config.fd = static_cast<std::uint32_t>(fd);
  config.info.lo_offset = static_cast<std::uint64_t>(offset);
  config.info.lo_sizelimit = static_cast<std::uint64_t>(length);
  if (::ioctl(loop, LOOP_CONFIGURE, &config) == 0) return 0;
  if (errno != EINVAL && errno != ENOTTY) return errno;
  // Before Linux 5.8: in two steps.
  if (::ioctl(loop, LOOP_SET_FD, fd) != 0) return errno;
  if (::ioctl(loop, LOOP_SET_STATUS64, &config.info) == 0) return 0;
  const int error = errno;
  ::ioctl(loop, LOOP_CLR_FD, 0);
  return error;
}

}  // namespace

std::optional<std::string> AttachLoopDevice(int fd, std::int64_t offset, std::int64_t length, std::string* error) {
  Descriptor control(::open("/dev/loop-control", O_RDWR | O_CLOEXEC));
  if (control.get() < 0) {
    *error = std::string("/dev/loop-control: ") + std::strerror(errno);
    return std::nullopt;
  }
  int last = EBUSY;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const int number = ::ioctl(control.get(), LOOP_CTL_GET_FREE);
    if (number < 0) {
      last = errno;
      break;
    }
    const std::string device = "/dev/loop" + std::to_string(number);
    Descriptor loop(::open(device.c_str(), O_RDWR | O_CLOEXEC));
    if (loop.get() < 0) {
      last = errno;
      continue;
    }
    last = Attach(loop.get(), fd, offset, length);
    if (last == 0) return device;
    if (last != EBUSY) break;
  }
  *error = std::strerror(last);
  return std::nullopt;
}

}  // namespace platform::disks
