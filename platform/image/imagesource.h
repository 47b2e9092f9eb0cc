#pragma once
// Bytes of an image file by offset, never past its end. Shared by the
// readers of the image's file systems; any thread may read (pread).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform::image {

class ImageSource {
 public:
  ImageSource() = default;
  ~ImageSource();
  ImageSource(const ImageSource&) = delete;
  ImageSource& operator=(const ImageSource&) = delete;

  // Opens a regular file or a block device for reading; anything else (a
  // folder, a pipe, a character device) is refused with a reason in error.
  // asInvoker: opened as the invoking user (platform/invoker), so root reads
  // only an image or device that user could read.
  bool Open(const std::string& hostPath, std::string& error, bool asInvoker = false);
  // Up to n bytes at offset: the count (short only at the end), -1 on failure.
  using ReadFunction = std::function<std::int64_t(std::uint64_t offset, void* buffer, std::size_t n)>;
  // Reads through another reader instead of a descriptor of its own (the
  // product check reads past the page cache; tests read memory).
  void Use(ReadFunction read, std::uint64_t size);

  std::uint64_t Size() const { return size_; }
  int Descriptor() const { return fd_; }
  // Exactly n bytes at offset: false when any of them lies past the end or
  // the read fails.
  bool ReadExact(std::uint64_t offset, void* buffer, std::size_t n) const;

 private:
  int fd_ = -1;
  ReadFunction read_;
  std::uint64_t size_ = 0;
};

}  // namespace platform::image
