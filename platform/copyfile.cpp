#include "platform/copyfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/lasterror.h"
#include "platform/paths.h"

namespace platform {

namespace {

// Closes a descriptor on scope exit.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }

 private:
  int fd_;
};

// Writes the whole buffer; false with errno set.
bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Moves up to `want` bytes; returns bytes moved, 0 at end of file, -1 on error.
// Tries the kernel's copy first and falls back to read/write when the file
// systems do not allow it.
ssize_t CopyChunk(int in, int out, size_t want, bool& useKernel, std::vector<char>& buffer) {
  if (useKernel) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
    if (n >= 0) return n;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF) return -1;
    useKernel = false;
  }
  if (buffer.empty()) buffer.resize(1024 * 1024);
  size_t total = 0;
  while (total < want) {
    ssize_t r = ::read(in, buffer.data(), std::min(buffer.size(), want - total));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    if (!WriteAll(out, buffer.data(), static_cast<size_t>(r))) return -1;
    total += static_cast<size_t>(r);
  }
  return static_cast<ssize_t>(total);
}

}  // namespace

bool CopyFileEx(std::wstring_view from, std::wstring_view to, LPPROGRESS_ROUTINE progress, void* data,
                bool* cancel, DWORD flags) {
  std::string src, dst;
  if (!ResolvePath(from, src) || !ResolvePath(to, dst)) return false;

  Fd in(::open(src.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  struct stat st;
  if (::fstat(in.get(), &st) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }

  struct stat dstSt;
  if (::stat(dst.c_str(), &dstSt) == 0) {
    if (flags & COPY_FILE_FAIL_IF_EXISTS) {
      SetLastError(ERROR_FILE_EXISTS);
      return false;
    }
    if (S_ISDIR(dstSt.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    if (dstSt.st_dev == st.st_dev && dstSt.st_ino == st.st_ino) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return false;
    }
    // The system overwrites read-only targets in a plain copy; so do we.
    if (!(dstSt.st_mode & S_IWUSR)) ::chmod(dst.c_str(), (dstSt.st_mode & 07777) | S_IWUSR);
  }

  Fd out(::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (out.get() < 0) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
    return false;
  }

  const std::int64_t total = st.st_size;
  std::int64_t done = 0;
  auto report = [&](DWORD reason) -> DWORD {
    if (cancel && *cancel) return PROGRESS_CANCEL;
    if (!progress) return PROGRESS_CONTINUE;
    return progress(total, done, total, done, 1, reason, reinterpret_cast<HANDLE>(static_cast<intptr_t>(in.get())),
                    reinterpret_cast<HANDLE>(static_cast<intptr_t>(out.get())), data);
  };
  auto abandon = [&](DWORD error) {
    ::close(out.release());
    ::unlink(dst.c_str());
    SetLastError(error);
    return false;
  };

  bool quiet = false;
  DWORD answer = report(CALLBACK_STREAM_SWITCH);
  if (answer == PROGRESS_CANCEL || answer == PROGRESS_STOP) return abandon(ERROR_REQUEST_ABORTED);
  if (answer == PROGRESS_QUIET) quiet = true;

  bool useKernel = true;
  std::vector<char> buffer;
  for (;;) {
    ssize_t n = CopyChunk(in.get(), out.get(), kCopyChunkBytes, useKernel, buffer);
    if (n < 0) return abandon(ErrorFromErrno(errno));
    if (n == 0) break;
    done += n;
    if (!quiet) {
      answer = report(CALLBACK_CHUNK_FINISHED);
      if (answer == PROGRESS_CANCEL || answer == PROGRESS_STOP) return abandon(ERROR_REQUEST_ABORTED);
      if (answer == PROGRESS_QUIET) quiet = true;
    } else if (cancel && *cancel) {
      return abandon(ERROR_REQUEST_ABORTED);
    }
  }
  if (done < total) {
    // The source shrank under us: the copy is not what was asked for.
    return abandon(ERROR_HANDLE_EOF);
  }

  struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out.get(), times);
  ::fchmod(out.get(), st.st_mode & 07777);
  if (::close(out.release()) != 0) {
    DWORD e = ErrorFromErrno(errno);
    ::unlink(dst.c_str());
    SetLastError(e);
    return false;
  }
  return true;
}

}  // namespace platform
