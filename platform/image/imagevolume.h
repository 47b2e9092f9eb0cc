#pragma once
// A disc image opened as a read-only volume: its UDF file system when it has
// one (Windows 7 media: UDF with an ISO 9660 bridge, sometimes a mere stub
// on the ISO 9660 side), else ISO 9660 with Joliet names. The tree is read
// once at opening; files are read from the image on demand. Any thread may
// use a volume.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/image/imagesource.h"
#include "platform/image/imagetree.h"
#include "platform/image/udftree.h"

namespace platform::image {

class ImageVolume {
 public:
  // The volume of the image at hostPath; null with a reason (naming the
  // file) when it cannot be opened or holds no readable file system.
  // asInvoker: the file is the invoking user's (platform/invoker).
  static std::shared_ptr<ImageVolume> Open(const std::string& hostPath, std::string& error,
                                           const ImageLimits& limits = {}, bool asInvoker = false);
  // The same over another reader of the image's bytes (see ImageSource::Use).
  static std::shared_ptr<ImageVolume> OpenReader(ImageSource::ReadFunction read, std::uint64_t size,
                                                 std::string& error, const ImageLimits& limits = {});

  const Tree& tree() const { return tree_; }
  const std::string& HostPath() const { return hostPath_; }
  std::uint64_t Size() const { return source_.Size(); }
  const ImageSource& Source() const { return source_; }

  // The node at the given components (matched without regard to case); -1
  // when there is none, with *folderMissing telling whether a folder on the
  // way is missing too.
  int Find(const std::vector<std::wstring>& parts, bool* folderMissing = nullptr) const;

  // Reads one file from its start to its end.
  class Reader {
   public:
    virtual ~Reader() = default;
    virtual std::uint64_t Size() const = 0;
    // The next bytes, up to n: 0 at the end, -1 when the image fails.
    virtual std::int64_t Read(void* buffer, std::size_t n) = 0;
    // Moves up to n next bytes into the descriptor out, by the kernel's copy
    // straight from the image where the bytes lie in one run, else through
    // buffer: the count, 0 at the end, kImageFailed when the image fails, -1
    // with errno set when writing fails.
    virtual std::int64_t CopyTo(int out, std::size_t n, void* buffer, std::size_t bufferBytes);
    static constexpr std::int64_t kImageFailed = -2;

   protected:
    // The kernel's copy of length bytes at offset of the image into out;
    // false when it cannot (another file system pair), with nothing moved.
    static std::int64_t KernelCopy(const ImageSource& source, std::uint64_t offset, std::size_t length, int out,
                                   bool& unsupported);
  };
  // Null for a folder or when the file cannot be opened.
  std::unique_ptr<Reader> OpenFile(int node);

 private:
  bool Load(std::string& error, const ImageLimits& limits);

  std::string hostPath_;
  ImageSource source_;
  std::unique_ptr<UdfVolume> udf_;
  Tree tree_;
};

// The volume of an image file, opened once per process and shared by every
// caller (an image drive is read by the size thread, the copy and the check).
// An image opened as the invoking user is kept apart from one root opened.
std::shared_ptr<ImageVolume> OpenSharedVolume(const std::string& hostPath, std::string& error,
                                              bool asInvoker = false);

}  // namespace platform::image
