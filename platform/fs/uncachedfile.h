#pragma once
// A file or block device read back from the medium rather than from the
// page cache, as far as the system allows: O_DIRECT where the file system
// takes it (through an aligned window), otherwise the file's cached pages
// are written out and dropped before reading (fsync, then
// POSIX_FADV_DONTNEED); a block device's buffers are flushed (BLKFLSBUF).
// Not thread-safe; one reader per object.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/uniquefd.h"

namespace platform {

class UncachedFile {
 public:
  UncachedFile() = default;
  ~UncachedFile();
  UncachedFile(const UncachedFile&) = delete;
  UncachedFile& operator=(const UncachedFile&) = delete;

  // False with errno set when the file cannot be opened.
  bool Open(const std::string& hostPath);
  std::uint64_t Size() const { return size_; }
  bool Direct() const { return direct_; }

  // Reads up to length bytes at offset; the count read (short only at the
  // end of the file), or -1 with errno set.
  std::int64_t ReadAt(std::uint64_t offset, void* buffer, std::size_t length);

 private:
  std::int64_t ReadDirect(std::uint64_t offset, void* buffer, std::size_t length);
  void FillWindow(std::uint64_t start);

  UniqueFd fd_;
  bool direct_ = false;
  std::uint64_t size_ = 0;
  struct AlignedFree {
    void operator()(void* p) const;
  };
  std::unique_ptr<unsigned char, AlignedFree> window_;
  std::uint64_t windowStart_ = 0;
  std::size_t windowLength_ = 0;  // valid bytes in the window
};

// Writes out and drops the page cache of one host file (best effort).
void DropCachedPages(const std::string& hostPath);
// The same for a loop device ("/dev/loop3") and the file behind it (a
// virtual disk's image), so a volume read through it comes from the medium.
void DropLoopDeviceCaches(const std::string& loopDevice);

}  // namespace platform
