#include "platform/image/udftree.h"

#include <udfread/blockinput.h>
#include <udfread/udfread.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/text.h"

namespace platform::image {

struct UdfVolume::Input {
  udfread_block_input base{};  // first: libudfread hands back this address
  const ImageSource* image = nullptr;
};

namespace {

int InputClose(udfread_block_input*) { return 0; }

int InputRead(udfread_block_input* in, uint32_t lba, void* buffer, uint32_t blocks, int) {
  const ImageSource& image = *reinterpret_cast<UdfVolume::Input*>(in)->image;
  const std::uint64_t total = image.Size() / kBlockBytes;
  if (lba >= total) return -1;
  const auto n = static_cast<uint32_t>(std::min<std::uint64_t>(blocks, total - lba));
  if (!image.ReadExact(static_cast<std::uint64_t>(lba) * kBlockBytes, buffer, n * kBlockBytes)) return -1;
  return static_cast<int>(n);
}

uint32_t InputSize(udfread_block_input* in) {
  const ImageSource& image = *reinterpret_cast<UdfVolume::Input*>(in)->image;
  return static_cast<uint32_t>(std::min<std::uint64_t>(image.Size() / kBlockBytes, UINT32_MAX));
}

class Walker {
 public:
  Walker(Tree& tree, const ImageLimits& limits, std::string& error) : tree_(tree), limits_(limits), error_(error) {}

  bool Folder(UDFDIR* dir, std::uint32_t node, int depth) {
    const std::string where = PathOf(tree_, node);
    // libudfread goes wherever a folder's entries point, the root included:
    // depth and the number of entries are what bound a folder that loops.
    if (depth > limits_.depth) return Fail("folders nest deeper than " + std::to_string(limits_.depth) + " at " + where);
    udfread_dirent entry;
    while (udfread_readdir(dir, &entry)) {
      const std::string name = entry.d_name ? entry.d_name : "";
      const unsigned type = entry.d_type;
      if (name == "." || name == "..") continue;
      if (const std::string why = NameRefusal(where, name); !why.empty()) return Fail(why);
      if (++entries_ > limits_.entries) return Fail("the image holds more than " + std::to_string(limits_.entries) + " entries");
      if (tree_.nameBytes + name.size() > limits_.nameBytes) return Fail("paths too long");
      Node child;
      child.name = name;
      if (type == UDF_DT_DIR) {
        child.folder = true;
        std::uint32_t index = 0;
        if (!AddChild(tree_, node, std::move(child), &index)) continue;
        UDFDIR* sub = udfread_opendir_at(dir, name.c_str());
        if (!sub) return Fail("the folder " + PathOf(tree_, index) + " cannot be read");
        const bool ok = Folder(sub, index, depth + 1);
        udfread_closedir(sub);
        if (!ok) return false;
      } else if (type == UDF_DT_REG) {
        UDFFILE* file = udfread_file_openat(dir, name.c_str());
        if (!file) return Fail("the file " + where + (node == 0 ? "" : "/") + name + " cannot be read");
        const std::int64_t size = udfread_file_size(file);
        udfread_file_close(file);
        if (size < 0) return Fail("the file " + where + (node == 0 ? "" : "/") + name + " cannot be read");
        child.size = static_cast<std::uint64_t>(size);
        AddChild(tree_, node, std::move(child));
      }
    }
    return true;
  }

 private:
  bool Fail(const std::string& what) {
    error_ = what;
    return false;
  }
  Tree& tree_;
  const ImageLimits& limits_;
  std::string& error_;
  std::uint32_t entries_ = 0;
};

// The volume recognition sequence from block 16 names an NSR descriptor
// when the image holds UDF; looked at first, so that libudfread is asked
// (and complains on stderr) only about images that claim UDF.
bool ClaimsUdf(const ImageSource& image) {
  constexpr int kRecognitionBlocks = 64;
  unsigned char block[8];
  for (int i = 0; i < kRecognitionBlocks; ++i) {
    if (!image.ReadExact((16 + static_cast<std::uint64_t>(i)) * kBlockBytes, block, sizeof block)) return false;
    if (std::memcmp(block + 1, "NSR02", 5) == 0 || std::memcmp(block + 1, "NSR03", 5) == 0) return true;
    if (std::memcmp(block + 1, "TEA01", 5) == 0) return false;
  }
  return false;
}

}  // namespace

std::unique_ptr<UdfVolume> UdfVolume::Open(const ImageSource& image) {
  if (!ClaimsUdf(image)) return nullptr;
  std::unique_ptr<UdfVolume> volume(new UdfVolume());
  volume->input_ = std::make_unique<Input>();
  volume->input_->base.close = InputClose;
  volume->input_->base.read = InputRead;
  volume->input_->base.size = InputSize;
  volume->input_->image = &image;
  volume->udf_ = udfread_init();
  if (!volume->udf_) return nullptr;
  if (udfread_open_input(volume->udf_, &volume->input_->base) < 0) return nullptr;
  return volume;
}

UdfVolume::~UdfVolume() {
  if (udf_) udfread_close(udf_);
}

bool UdfVolume::ReadTree(Tree& tree, std::string& error, const ImageLimits& limits) {
  std::lock_guard lock(mutex_);
  tree = Tree{};
  tree.fileSystem = L"UDF";
  const char* id = udfread_get_volume_id(udf_);
  tree.label = WideFromAnsi(id ? id : "");
  Node root;
  root.folder = true;
  tree.nodes.push_back(std::move(root));
  UDFDIR* dir = udfread_opendir(udf_, "/");
  if (!dir) {
    error = "the UDF root folder cannot be read";
    return false;
  }
  Walker walker(tree, limits, error);
  const bool ok = walker.Folder(dir, 0, 0);
  udfread_closedir(dir);
  if (!ok) tree = Tree{};
  return ok;
}

std::unique_ptr<UdfVolume::File> UdfVolume::OpenFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  UDFFILE* file = udfread_file_open(udf_, path.c_str());
  if (!file) return nullptr;
  const std::int64_t size = udfread_file_size(file);
  if (size < 0) {
    udfread_file_close(file);
    return nullptr;
  }
  return std::make_unique<File>(*this, file, static_cast<std::uint64_t>(size));
}

UdfVolume::File::~File() {
  std::lock_guard lock(volume_.mutex_);
  udfread_file_close(file_);
}

std::uint32_t UdfVolume::File::Lba(std::uint32_t block) {
  std::lock_guard lock(volume_.mutex_);
  return udfread_file_lba(file_, block);
}

std::int64_t UdfVolume::File::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
  if (offset >= size_) return 0;
  n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
  std::lock_guard lock(volume_.mutex_);
  const auto block = static_cast<std::uint32_t>(offset / kBlockBytes);
  if (offset % kBlockBytes == 0 && n >= kBlockBytes) {
    const auto blocks = static_cast<std::uint32_t>(n / kBlockBytes);
    const std::uint32_t got = udfread_read_blocks(file_, buffer, block, blocks, 0);
    return got == 0 ? -1 : static_cast<std::int64_t>(got) * static_cast<std::int64_t>(kBlockBytes);
  }
  unsigned char one[kBlockBytes];
  if (udfread_read_blocks(file_, one, block, 1, 0) != 1) return -1;
  const std::size_t within = static_cast<std::size_t>(offset % kBlockBytes);
  const std::size_t take = std::min(n, static_cast<std::size_t>(kBlockBytes) - within);
  std::memcpy(buffer, one + within, take);
  return static_cast<std::int64_t>(take);
}

}  // namespace platform::image
