#include "verify/isoproduct.h"

#include <vector>

#include "platform/image/imagevolume.h"
#include "platform/image/isotree.h"

namespace verify {

namespace {
constexpr std::size_t kChunkBytes = 1 << 20;
}  // namespace

IsoProduct::IsoProduct() = default;
IsoProduct::~IsoProduct() = default;

bool IsoProduct::Open(const std::string& hostPath, std::string& error) {
  file_ = std::make_unique<platform::UncachedFile>();
  if (!file_->Open(hostPath)) {
    error = "cannot open " + hostPath;
    return false;
  }
  platform::UncachedFile* file = file_.get();
  std::string why;
  volume_ = platform::image::ImageVolume::OpenReader(
      [file](std::uint64_t offset, void* buffer, std::size_t n) { return file->ReadAt(offset, buffer, n); },
      file_->Size(), why);
  if (!volume_) {
    error = hostPath + ": " + why;
    return false;
  }
  const auto& nodes = volume_->tree().nodes;
  for (std::size_t i = 1; i < nodes.size(); ++i)
    if (!nodes[i].folder)
      files_[FoldPath(platform::image::PathOf(volume_->tree(), static_cast<std::uint32_t>(i)).substr(1))] = static_cast<int>(i);
  bootEntries_ = platform::image::CountBootEntries(volume_->Source());
  return true;
}

bool IsoProduct::HasFile(const std::string& relPath) const { return files_.count(FoldPath(relPath)) != 0; }

ReadStatus IsoProduct::ReadFile(const std::string& relPath, const ContentSink& sink) {
  const auto it = files_.find(FoldPath(relPath));
  if (it == files_.end()) return ReadStatus::Missing;
  auto reader = volume_->OpenFile(it->second);
  if (!reader) return ReadStatus::Failed;
  std::vector<unsigned char> chunk(kChunkBytes);
  std::uint64_t left = reader->Size();
  while (left > 0) {
    const std::int64_t n = reader->Read(chunk.data(), chunk.size());
    if (n <= 0) return ReadStatus::Failed;
    left -= static_cast<std::uint64_t>(n);
    if (!sink(chunk.data(), static_cast<std::size_t>(n))) return ReadStatus::Stopped;
  }
  return ReadStatus::Ok;
}

}  // namespace verify
