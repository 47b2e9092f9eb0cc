#pragma once
// A UDF volume of an image, read through libudfread: the tree of names and
// sizes (walked once, bounded by ImageLimits, since libudfread follows what
// the folders point to without looking back), and files read by path.
// libudfread is not safe for concurrent use: this object serialises its calls.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/image/imagesource.h"
#include "platform/image/imagetree.h"

struct udfread;
struct udfread_file;

namespace platform::image {

class UdfVolume {
 public:
  // Opens the UDF volume of image (which must outlive this object); null
  // when the image holds none.
  static std::unique_ptr<UdfVolume> Open(const ImageSource& image);
  ~UdfVolume();
  UdfVolume(const UdfVolume&) = delete;
  UdfVolume& operator=(const UdfVolume&) = delete;

  // Fills tree (names, sizes, folders; times are the caller's to set).
  bool ReadTree(Tree& tree, std::string& error, const ImageLimits& limits = {});

  // A file opened by its path in the tree; reads whole blocks and parts of
  // them, sparse parts as zeros.
  class File {
   public:
    File(UdfVolume& volume, udfread_file* file, std::uint64_t size) : volume_(volume), file_(file), size_(size) {}
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    // Up to n bytes at offset; 0 at the end, -1 when the image fails.
    std::int64_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n);
    // The image block that holds the file's block; 0 for none (a sparse
    // part, or past the file's end).
    std::uint32_t Lba(std::uint32_t block);

   private:
    UdfVolume& volume_;
    udfread_file* file_;
    std::uint64_t size_;
  };
  std::unique_ptr<File> OpenFile(const std::string& path);

  struct Input;  // the block input libudfread reads the image through

 private:
  UdfVolume() = default;
  std::unique_ptr<Input> input_;
  udfread* udf_ = nullptr;
  std::mutex mutex_;
};

}  // namespace platform::image
