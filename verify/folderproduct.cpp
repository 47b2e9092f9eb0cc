#include "verify/folderproduct.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/fs/uncachedfile.h"
#include "platform/lowercase.h"

namespace verify {

namespace {
constexpr std::size_t kChunkBytes = 1 << 20;
}

std::string FoldPath(const std::string& relPath) {
  std::string folded = platform::LowerCase(relPath);
  std::replace(folded.begin(), folded.end(), '\\', '/');
  return folded;
}

FolderProduct::FolderProduct(const std::string& hostRoot) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(hostRoot, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec) && !it->is_symlink(ec))
      files_[FoldPath(fs::relative(it->path(), hostRoot, ec).generic_string())] = it->path().string();
  }
}

bool FolderProduct::HasFile(const std::string& relPath) const { return files_.count(FoldPath(relPath)) != 0; }

std::string FolderProduct::HostPath(const std::string& relPath) const {
  const auto it = files_.find(FoldPath(relPath));
  return it == files_.end() ? std::string() : it->second;
}

ReadStatus FolderProduct::ReadFile(const std::string& relPath, const ContentSink& sink) {
  const std::string host = HostPath(relPath);
  if (host.empty()) return ReadStatus::Missing;
  platform::UncachedFile file;
  if (!file.Open(host)) return ReadStatus::Failed;
  std::vector<unsigned char> chunk(kChunkBytes);
  for (std::uint64_t offset = 0;;) {
    const std::int64_t n = file.ReadAt(offset, chunk.data(), chunk.size());
    if (n < 0) return ReadStatus::Failed;
    if (n == 0) return ReadStatus::Ok;
    if (!sink(chunk.data(), static_cast<std::size_t>(n))) return ReadStatus::Stopped;
    offset += static_cast<std::uint64_t>(n);
  }
}

}  // namespace verify
