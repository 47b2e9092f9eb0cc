#include "platform/dism/hostfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/text.h"

namespace platform::dism {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

int ReadHostFile(const std::string& host, std::size_t cap, std::string& bytes) {
  bytes.clear();
  if (host.find('\0') != std::string::npos) return EINVAL;
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  Fd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) return errno;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return ENODEV;
  if (static_cast<std::uint64_t>(st.st_size) > cap) return EFBIG;
  bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  // The size may change while we read: never more than cap, and a short
  // file ends where read says it ends.
  for (;;) {
    if (done == bytes.size()) {
      if (bytes.size() >= cap) {
        char extra = 0;
        if (::read(fd.get(), &extra, 1) > 0) return bytes.clear(), EFBIG;
        break;
      }
      bytes.resize(std::min(cap, bytes.size() + 64 * 1024));
    }
    ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      bytes.clear();
      return err;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return 0;
}

std::wstring ReadFailureText(int err, std::size_t cap) {
  switch (err) {
    case ENOENT: return L"it does not exist";
    case EISDIR: return L"it is a folder, not a file";
    case ENODEV: return L"it is not a regular file";
    case EFBIG: return L"it is larger than " + std::to_wstring(cap / kMiB) + L" MiB";
    case EACCES:
    case EPERM: return L"access is denied";
    case EIO: return L"the device reported an I/O error";
    case EINVAL: return L"its name is not valid";
    default: return WideFromAnsi(std::strerror(err));
  }
}

}  // namespace platform::dism
