#include "platform/image/imagevolume.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/image/isotree.h"

namespace platform::image {

std::int64_t ImageVolume::Reader::CopyTo(int out, std::size_t n, void* buffer, std::size_t bufferBytes) {
  const std::int64_t got = Read(buffer, std::min(n, bufferBytes));
  if (got < 0) return kImageFailed;
  const char* p = static_cast<const char*>(buffer);
  for (std::int64_t written = 0; written < got;) {
    const ssize_t w = ::write(out, p + written, static_cast<std::size_t>(got - written));
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return -1;
    written += w;
  }
  return got;
}

std::int64_t ImageVolume::Reader::KernelCopy(const ImageSource& source, std::uint64_t offset, std::size_t length,
                                             int out, bool& unsupported) {
  if (source.Descriptor() < 0 || offset > source.Size() || length > source.Size() - offset) {
    unsupported = true;
    return 0;
  }
  loff_t in = static_cast<loff_t>(offset);
  for (;;) {
    const ssize_t r = ::copy_file_range(source.Descriptor(), &in, out, nullptr, length, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)) {
      unsupported = true;
      return 0;
    }
    if (r < 0) return errno == EIO ? kImageFailed : -1;
    return r == 0 ? kImageFailed : r;  // nothing where the image promised bytes
  }
}

namespace {

// ISO 9660 files: their extents, read straight from the image.
class ExtentReader : public ImageVolume::Reader {
 public:
  ExtentReader(const ImageSource& source, const Node& node) : source_(source), node_(node) {}
  std::uint64_t Size() const override { return node_.size; }
  std::int64_t Read(void* buffer, std::size_t n) override {
    while (extent_ < node_.extents.size() && within_ >= node_.extents[extent_].length) {
      ++extent_;
      within_ = 0;
    }
    if (extent_ >= node_.extents.size()) return 0;
    const Extent& e = node_.extents[extent_];
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n, e.length - within_));
    if (!source_.ReadExact(e.offset + within_, buffer, take)) return -1;
    within_ += take;
    return static_cast<std::int64_t>(take);
  }
  std::int64_t CopyTo(int out, std::size_t n, void* buffer, std::size_t bufferBytes) override {
    while (extent_ < node_.extents.size() && within_ >= node_.extents[extent_].length) {
      ++extent_;
      within_ = 0;
    }
    if (extent_ >= node_.extents.size()) return 0;
    if (!kernel_) return Reader::CopyTo(out, n, buffer, bufferBytes);
    const Extent& e = node_.extents[extent_];
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n, e.length - within_));
    bool unsupported = false;
    const std::int64_t moved = KernelCopy(source_, e.offset + within_, take, out, unsupported);
    if (unsupported) {
      kernel_ = false;
      return Reader::CopyTo(out, n, buffer, bufferBytes);
    }
    if (moved > 0) within_ += static_cast<std::uint64_t>(moved);
    return moved;
  }

 private:
  const ImageSource& source_;
  const Node& node_;
  std::size_t extent_ = 0;
  std::uint64_t within_ = 0;
  bool kernel_ = true;
};

class UdfReader : public ImageVolume::Reader {
 public:
  UdfReader(const ImageSource& source, std::unique_ptr<UdfVolume::File> file, std::uint64_t size)
      : source_(source), file_(std::move(file)), size_(size) {}
  // Whole blocks that lie one after another in the image go by the kernel's
  // copy; a sparse part (no block address) and a file's last part block go
  // through libudfread.
  std::int64_t CopyTo(int out, std::size_t n, void* buffer, std::size_t bufferBytes) override {
    if (offset_ >= size_) return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset_));
    if (!kernel_ || offset_ % kBlockBytes != 0 || n < kBlockBytes) return Reader::CopyTo(out, n, buffer, bufferBytes);
    const auto first = static_cast<std::uint32_t>(offset_ / kBlockBytes);
    const std::uint32_t lba = file_->Lba(first);
    if (lba == 0) return Reader::CopyTo(out, n, buffer, bufferBytes);
    std::uint32_t blocks = 1;
    while ((blocks + 1) * kBlockBytes <= n && file_->Lba(first + blocks) == lba + blocks) ++blocks;
    bool unsupported = false;
    const std::int64_t moved =
        KernelCopy(source_, static_cast<std::uint64_t>(lba) * kBlockBytes, blocks * kBlockBytes, out, unsupported);
    if (unsupported) {
      kernel_ = false;
      return Reader::CopyTo(out, n, buffer, bufferBytes);
    }
    if (moved > 0) offset_ += static_cast<std::uint64_t>(moved);
    return moved;
  }
  std::uint64_t Size() const override { return size_; }
  std::int64_t Read(void* buffer, std::size_t n) override {
    const std::int64_t got = file_->ReadAt(offset_, buffer, n);
    if (got > 0) offset_ += static_cast<std::uint64_t>(got);
    return got;
  }

 private:
  const ImageSource& source_;
  std::unique_ptr<UdfVolume::File> file_;
  std::uint64_t size_;
  std::uint64_t offset_ = 0;
  bool kernel_ = true;
};

void SetTimes(Tree& tree, std::int64_t fallback) {
  for (Node& node : tree.nodes)
    if (node.mtime == 0) node.mtime = tree.recorded != 0 ? tree.recorded : fallback;
}

}  // namespace

bool ImageVolume::Load(std::string& error, const ImageLimits& limits) {
  struct stat st {};
  const std::int64_t fileTime = source_.Descriptor() >= 0 && ::fstat(source_.Descriptor(), &st) == 0 ? st.st_mtim.tv_sec : 0;
  // Only the side used is walked: UDF when the image has it. The ISO 9660
  // side's descriptor still gives the recording time (UDF's own times are
  // not offered by libudfread).
  udf_ = UdfVolume::Open(source_);
  if (udf_) {
    std::string udfError;
    if (udf_->ReadTree(tree_, udfError, limits)) {
      tree_.recorded = IsoRecordingTime(source_);
      SetTimes(tree_, fileTime);
      return true;
    }
    udf_.reset();
    // A damaged UDF side is not papered over by the bridge: the two would
    // not show the same medium.
    error = udfError;
    return false;
  }
  Tree iso;
  if (!ReadIsoTree(source_, iso, error, limits)) return false;
  tree_ = std::move(iso);
  SetTimes(tree_, fileTime);
  return true;
}

std::shared_ptr<ImageVolume> ImageVolume::Open(const std::string& hostPath, std::string& error,
                                               const ImageLimits& limits, bool asInvoker) {
  std::shared_ptr<ImageVolume> volume(new ImageVolume());
  volume->hostPath_ = hostPath;
  std::string why;
  if (!volume->source_.Open(hostPath, why, asInvoker) || !volume->Load(why, limits)) {
    error = hostPath + ": " + why;
    return nullptr;
  }
  return volume;
}

std::shared_ptr<ImageVolume> ImageVolume::OpenReader(ImageSource::ReadFunction read, std::uint64_t size,
                                                     std::string& error, const ImageLimits& limits) {
  std::shared_ptr<ImageVolume> volume(new ImageVolume());
  volume->source_.Use(std::move(read), size);
  if (!volume->Load(error, limits)) return nullptr;
  return volume;
}

int ImageVolume::Find(const std::vector<std::wstring>& parts, bool* folderMissing) const {
  if (folderMissing) *folderMissing = false;
  if (tree_.nodes.empty()) return -1;
  std::uint32_t at = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const Node& node = tree_.nodes[at];
    const auto it = node.folder ? node.children.find(Folded(parts[i])) : node.children.end();
    if (it == node.children.end()) {
      if (folderMissing) *folderMissing = i + 1 < parts.size();
      return -1;
    }
    at = it->second;
  }
  return static_cast<int>(at);
}

std::unique_ptr<ImageVolume::Reader> ImageVolume::OpenFile(int node) {
  if (node < 0 || static_cast<std::size_t>(node) >= tree_.nodes.size() || tree_.nodes[node].folder) return nullptr;
  const Node& n = tree_.nodes[node];
  if (!udf_) return std::make_unique<ExtentReader>(source_, n);
  auto file = udf_->OpenFile(PathOf(tree_, static_cast<std::uint32_t>(node)));
  if (!file) return nullptr;
  return std::make_unique<UdfReader>(source_, std::move(file), n.size);
}

std::shared_ptr<ImageVolume> OpenSharedVolume(const std::string& hostPath, std::string& error, bool asInvoker) {
  static std::mutex mutex;
  static std::map<std::pair<std::string, bool>, std::shared_ptr<ImageVolume>> open;
  std::lock_guard lock(mutex);
  const auto key = std::make_pair(hostPath, asInvoker);
  if (auto it = open.find(key); it != open.end()) return it->second;
  auto volume = ImageVolume::Open(hostPath, error, {}, asInvoker);
  if (volume) open[key] = volume;
  return volume;
}

}  // namespace platform::image
