#include "platform/fs/uncachedfile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace platform {

namespace {

// Large enough for sequential reads to stream, a multiple of every logical
// block size O_DIRECT may ask for.
constexpr std::size_t kWindowBytes = 1 << 20;
constexpr std::size_t kDirectAlignment = 4096;

std::uint64_t SizeOf(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return 0;
  if (S_ISBLK(st.st_mode)) {
    std::uint64_t bytes = 0;
    return ioctl(fd, BLKGETSIZE64, &bytes) == 0 ? bytes : 0;
  }
  return static_cast<std::uint64_t>(st.st_size);
}

void DropCache(int fd) {
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISBLK(st.st_mode)) ioctl(fd, BLKFLSBUF, 0);
  fsync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}

}  // namespace

void UncachedFile::AlignedFree::operator()(void* p) const { std::free(p); }

UncachedFile::~UncachedFile() = default;

bool UncachedFile::Open(const std::string& hostPath) {
  // Dirty pages are written out first in any case: O_DIRECT reads do not see
  // data that is still only in the cache.
  UniqueFd plain(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!plain) return false;
  DropCache(plain.get());
  size_ = SizeOf(plain.get());
  UniqueFd direct(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT));
  void* memory = nullptr;
  if (direct && posix_memalign(&memory, kDirectAlignment, kWindowBytes) == 0) {
    window_.reset(static_cast<unsigned char*>(memory));
    // Some file systems accept the flag and refuse the reads (EINVAL).
    fd_ = std::move(direct);
    FillWindow(0);
    if (windowLength_ > 0 || size_ == 0) {
      direct_ = true;
      return true;
    }
  }
  window_.reset();
  fd_ = std::move(plain);
  direct_ = false;
  return true;
}

void UncachedFile::FillWindow(std::uint64_t start) {
  windowStart_ = start;
  windowLength_ = 0;
  while (windowLength_ < kWindowBytes) {
    const ssize_t n = pread(fd_.get(), window_.get() + windowLength_, kWindowBytes - windowLength_,
                            static_cast<off_t>(start + windowLength_));
    if (n <= 0) break;
    windowLength_ += static_cast<std::size_t>(n);
    if (windowLength_ % kDirectAlignment != 0) break;  // the end of the file
  }
}

std::int64_t UncachedFile::ReadDirect(std::uint64_t offset, void* buffer, std::size_t length) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < length && offset + done < size_) {
    const std::uint64_t at = offset + done;
    if (at < windowStart_ || at >= windowStart_ + windowLength_) {
      FillWindow(at - at % kDirectAlignment);
      if (at >= windowStart_ + windowLength_) {
        if (done == 0) errno = EIO;
        return done == 0 ? -1 : static_cast<std::int64_t>(done);
      }
    }
    const std::size_t from = static_cast<std::size_t>(at - windowStart_);
    const std::size_t take = std::min(length - done, windowLength_ - from);
    std::memcpy(out + done, window_.get() + from, take);
    done += take;
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t UncachedFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) {
  if (direct_) return ReadDirect(offset, buffer, length);
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = pread(fd_.get(), out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

void DropCachedPages(const std::string& hostPath) {
  const int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  DropCache(fd);
  close(fd);
}

void DropLoopDeviceCaches(const std::string& loopDevice) {
  if (loopDevice.empty()) return;
  DropCachedPages(loopDevice);
  std::ifstream backing("/sys/block/" + std::filesystem::path(loopDevice).filename().string() + "/loop/backing_file");
  std::string image;
  if (std::getline(backing, image) && !image.empty()) DropCachedPages(image);
}

}  // namespace platform
