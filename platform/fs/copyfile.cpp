#include "platform/fs/copyfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>

#include "platform/uniquefd.h"
#include "platform/fs/dirnames.h"
#include "platform/fs/imagefiles.h"
#include "platform/lasterror.h"
#include "platform/fs/paths.h"

namespace platform {

namespace copyfault {
namespace {
std::atomic<const Hook*> g_hook{nullptr};
}  // namespace

ScopedHook::ScopedHook(Hook hook) : hook_(std::move(hook)) { g_hook.store(&hook_, std::memory_order_release); }
ScopedHook::~ScopedHook() { g_hook.store(nullptr, std::memory_order_release); }

}  // namespace copyfault

namespace {

// The fallback path's buffer, one per thread and reused for every file, so
// thousands of small files do not each map and fault in a fresh megabyte.
constexpr size_t kBufferBytes = 1024 * 1024;

using Fd = UniqueFd;

// Asks the test hook, when one is installed, whether this step fails.
int InjectedFault(copyfault::Point point, const std::string& src, const std::string& dst, std::uint64_t index) {
  const copyfault::Hook* hook = copyfault::g_hook.load(std::memory_order_acquire);
  if (!hook) return 0;
  return (*hook)(copyfault::Event{point, src, dst, index});
}

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

// Errors of the kernel's copy call that only say "not between these files":
// the read/write path copies them instead.
bool KernelCopyUnsupported(int err) {
  return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EBADF;
}

// Moves one file's data chunk by chunk between two open descriptors.
class ChunkMover {
 public:
  ChunkMover(int in, int out, const std::string& src, const std::string& dst)
      : in_(in), out_(out), src_(src), dst_(dst) {}

  // Moves up to `want` bytes, fewer only at the end of the file. Returns the
  // bytes moved, 0 at the end, -1 with errno set on failure. `expected` is
  // what the file's size says is left: the kernel's empty answer is the end
  // there, while before it (some file systems answer 0 early, or the file
  // shrank) a plain read has the last word.
  ssize_t Move(size_t want, std::int64_t expected) {
    ++chunk_;
    if (int err = InjectedFault(copyfault::Point::kRead, src_, dst_, chunk_)) return Fail(err);
    if (int err = InjectedFault(copyfault::Point::kWrite, src_, dst_, chunk_)) return Fail(err);
    size_t moved = 0;
    while (moved < want) {
      // At the size known from the start, stop; the next call asks whether
      // the file grew meanwhile.
      if (expected > 0 && moved >= static_cast<std::uint64_t>(expected)) break;
      ssize_t n;
      if (useKernel_) {
        n = ::copy_file_range(in_, nullptr, out_, nullptr, want - moved, 0);
        if (n < 0) {
          if (errno == EINTR) continue;
          if (!KernelCopyUnsupported(errno)) return -1;
          useKernel_ = false;
          continue;
        }
        if (n == 0) {
          if (expected - static_cast<std::int64_t>(moved) <= 0) break;
          useKernel_ = false;
          continue;
        }
      } else {
        n = BufferCopy(want - moved);
        if (n < 0) return -1;
        if (n == 0) break;
      }
      moved += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(moved);
  }

 private:
  static ssize_t Fail(int err) {
    errno = err;
    return -1;
  }

  ssize_t BufferCopy(size_t want) {
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer) buffer = std::make_unique<char[]>(kBufferBytes);
    for (;;) {
      ssize_t r = ::read(in_, buffer.get(), std::min(kBufferBytes, want));
      if (r < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (r == 0) return 0;
      if (!WriteAll(out_, buffer.get(), static_cast<size_t>(r))) return -1;
      return r;
    }
  }

  int in_;
  int out_;
  const std::string& src_;
  const std::string& dst_;
  std::uint64_t chunk_ = 0;
  bool useKernel_ = true;
};

// Clears the way for a new file in place of an existing target, the way the
// system's copy overwrites one, read-only too. Fills the last error and
// returns false when it must not be overwritten.
bool PrepareTarget(const std::string& dst, const struct stat& src, DWORD flags) {
  struct stat st;
  if (::lstat(dst.c_str(), &st) != 0) return true;
  if (flags & COPY_FILE_FAIL_IF_EXISTS) {
    SetLastError(ERROR_FILE_EXISTS);
    return false;
  }
  if (S_ISLNK(st.st_mode)) {
    // The link goes; what it points to, maybe outside the tree, is not ours.
    if (::unlink(dst.c_str()) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return false;
    }
    return true;
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  if (st.st_dev == src.st_dev && st.st_ino == src.st_ino) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return false;
  }
  // The old file goes and a new one takes its name, read-only or not,
  // rather than being truncated and written again: the user-space FAT
  // driver of USB sticks loses the cluster chain of a file truncated to
  // nothing and rewritten, and leaves the file system damaged.
  if (::unlink(dst.c_str()) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  return true;
}

// A link copied as a link: same target text, the old entry replaced.
bool CopyLink(const std::string& src, const std::string& dst, DWORD flags) {
  std::string target(4096, '\0');
  const ssize_t n = ::readlink(src.c_str(), target.data(), target.size());
  if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
    SetLastError(n < 0 ? ErrorFromErrno(errno) : ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  target.resize(static_cast<std::size_t>(n));
  dirnames::Change change(dst);
  struct stat st;
  if (::lstat(dst.c_str(), &st) == 0) {
    if (flags & COPY_FILE_FAIL_IF_EXISTS) {
      SetLastError(ERROR_FILE_EXISTS);
      return false;
    }
    if (S_ISDIR(st.st_mode) || ::unlink(dst.c_str()) != 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
  }
  if (::symlink(target.c_str(), dst.c_str()) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  change.Added();
  return true;
}

HANDLE AsHandle(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)); }

}  // namespace

bool CopyFileEx(std::wstring_view from, std::wstring_view to, LPPROGRESS_ROUTINE progress, void* data,
                bool* cancel, DWORD flags) {
  std::string src, dst;
  ImageLocation image;
  if (const ImageLookup lookup = LocateImagePath(from, image); lookup != ImageLookup::kNotImage)
    return lookup == ImageLookup::kFound && ResolvePath(to, dst) &&
           ImageCopyFile(image, dst, progress, data, cancel, flags);
  if (!ResolvePath(from, src) || !ResolvePath(to, dst)) return false;

  if (flags & COPY_FILE_COPY_SYMLINK) {
    struct stat link;
    if (::lstat(src.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) return CopyLink(src, dst, flags);
  }
  if (int err = InjectedFault(copyfault::Point::kOpenSource, src, dst, 1)) {
    SetLastError(ErrorFromErrno(err));
    return false;
  }
  // Non-blocking: a pipe on a medium must not hold the copy at its open.
  Fd in(::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
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
  // Only files have an end: a device or a pipe is no file to copy.
  if (!S_ISREG(st.st_mode)) {
    SetLastError(ERROR_BAD_FILE_TYPE);
    return false;
  }
  ::fcntl(in.get(), F_SETFL, ::fcntl(in.get(), F_GETFL) & ~O_NONBLOCK);
  // A new target is the common case and needs no checks; only an existing
  // one is looked at before it is truncated.
  dirnames::Change change(dst);
  Fd out(::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (out.get() >= 0) change.Added();
  if (out.get() < 0 && errno == EEXIST) {
    if (!PrepareTarget(dst, st, flags)) return false;
    out.reset(::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  }
  if (out.get() < 0) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
    return false;
  }
  ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  std::int64_t total = st.st_size;
  std::int64_t done = 0;
  auto report = [&](DWORD reason) -> DWORD {
    if (cancel && *cancel) return PROGRESS_CANCEL;
    if (!progress) return PROGRESS_CONTINUE;
    return progress(total, done, total, done, 1, reason, AsHandle(in.get()), AsHandle(out.get()), data);
  };
  auto abandon = [&](DWORD error) {
    ::close(out.release());
    dirnames::Change removal(dst);
    if (::unlink(dst.c_str()) == 0) removal.Removed();
    SetLastError(error);
    return false;
  };
  auto stops = [](DWORD answer) { return answer == PROGRESS_CANCEL || answer == PROGRESS_STOP; };

  bool quiet = false;
  DWORD answer = report(CALLBACK_STREAM_SWITCH);
  if (stops(answer)) return abandon(ERROR_REQUEST_ABORTED);
  quiet = answer == PROGRESS_QUIET;

  ChunkMover mover(in.get(), out.get(), src, dst);
  for (;;) {
    ssize_t n = mover.Move(kCopyChunkBytes, total - done);
    if (n < 0) return abandon(ErrorFromErrno(errno));
    if (n == 0) break;
    done += n;
    // A file that grows while it is copied is copied to its new end; the
    // routine never sees more bytes transferred than the total it is told.
    total = std::max(total, done);
    if (quiet) {
      if (cancel && *cancel) return abandon(ERROR_REQUEST_ABORTED);
      continue;
    }
    answer = report(CALLBACK_CHUNK_FINISHED);
    if (stops(answer)) return abandon(ERROR_REQUEST_ABORTED);
    quiet = answer == PROGRESS_QUIET;
  }
  // The source shrank under us: the copy is not what was asked for.
  if (done < total) return abandon(ERROR_HANDLE_EOF);

  struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out.get(), times);
  // Only the read-only attribute travels with a file; a writable source
  // needs no second look at the new file's permissions.
  if (!(st.st_mode & S_IWUSR)) ::fchmod(out.get(), st.st_mode & 07777);
  // No flush per file: the caller flushes the volume once (FlushVolume).
  // close still reports what the file system knows already.
  if (::close(out.release()) != 0) {
    DWORD e = ErrorFromErrno(errno);
    dirnames::Change removal(dst);
    if (::unlink(dst.c_str()) == 0) removal.Removed();
    SetLastError(e);
    return false;
  }
  return true;
}

namespace {
std::atomic<VolumeDeviceFlusher> g_deviceFlusher{nullptr};
}  // namespace

void SetVolumeDeviceFlusher(VolumeDeviceFlusher flusher) { g_deviceFlusher.store(flusher); }

VolumeWriteWatch::VolumeWriteWatch(std::wstring_view path) {
  if (!ResolvePath(path, host_)) {
    openError_ = GetLastError();
    return;
  }
  // The target folder of a copy is made by the copy: watch the folder
  // above it, which is on the same file system.
  std::string at = host_;
  for (;;) {
    fd_ = ::open(at.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ >= 0 || errno != ENOENT) break;
    const size_t slash = at.find_last_of('/');
    if (slash == std::string::npos || slash == 0) break;
    at.resize(slash);
  }
  if (fd_ < 0) openError_ = ErrorFromErrno(errno);
}

VolumeWriteWatch::~VolumeWriteWatch() {
  if (fd_ >= 0) ::close(fd_);
}

bool VolumeWriteWatch::Flush() {
  if (fd_ < 0) {
    SetLastError(openError_);
    return false;
  }
  if (int err = InjectedFault(copyfault::Point::kFlushVolume, std::string(), host_, 1)) {
    SetLastError(ErrorFromErrno(err));
    return false;
  }
  if (::syncfs(fd_) != 0 && errno != EINVAL && errno != EROFS) {
    // What failed here were writes.
    SetLastError(errno == EIO ? ERROR_WRITE_FAULT : ErrorFromErrno(errno));
    return false;
  }
  const VolumeDeviceFlusher devices = g_deviceFlusher.load();
  return !devices || devices(host_);
}

bool FlushVolume(std::wstring_view path) { return VolumeWriteWatch(path).Flush(); }

}  // namespace platform
