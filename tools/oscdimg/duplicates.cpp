#include "tools/oscdimg/duplicates.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include "platform/uniquefd.h"

namespace oscdimg {
namespace {

constexpr std::size_t kPrefixBytes = 64 * 1024;
constexpr std::size_t kCompareChunk = 1024 * 1024;

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  bool ok() const { return static_cast<bool>(fd_); }
  // Reads up to size bytes (fewer only at the end of the file); -1 on error.
  ssize_t Read(char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = read(fd_.get(), buffer + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
  }

 private:
  platform::UniqueFd fd_;
};

bool Unreadable(const std::string& path, std::string* error) {
  *error = "cannot read " + path + ": " + std::strerror(errno);
  return false;
}

int CompareFailed(const std::string& path, std::string* error) {
  Unreadable(path, error);
  return -1;
}

// FNV-1a over the first kPrefixBytes: a cheap key, never trusted alone.
bool PrefixDigest(const std::string& path, std::uint64_t* digest, std::string* error) {
  ReadOnlyFile file(path);
  std::vector<char> buffer(kPrefixBytes);
  const ssize_t n = file.ok() ? file.Read(buffer.data(), buffer.size()) : -1;
  if (n < 0) return Unreadable(path, error);
  std::uint64_t h = 1469598103934665603ull;
  for (ssize_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
  *digest = h;
  return true;
}

// 1 equal, 0 different, -1 error (message set).
int SameContent(const std::string& a, const std::string& b, std::string* error) {
  ReadOnlyFile fa(a), fb(b);
  if (!fa.ok()) return CompareFailed(a, error);
  if (!fb.ok()) return CompareFailed(b, error);
  std::vector<char> ba(kCompareChunk), bb(kCompareChunk);
  for (;;) {
    const ssize_t na = fa.Read(ba.data(), ba.size());
    if (na < 0) return CompareFailed(a, error);
    const ssize_t nb = fb.Read(bb.data(), bb.size());
    if (nb < 0) return CompareFailed(b, error);
    if (na != nb || std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(na)) != 0) return 0;
    if (na == 0) return 1;
  }
}

}  // namespace

bool ShareIdenticalFiles(SourceTree* tree, SharingResult* result, std::string* error) {
  *result = SharingResult();
  std::map<std::uint64_t, std::vector<SourceNode*>> bySize;
  for (SourceNode* file : FilesOf(*tree))
    if (file->Size() > 0 && !file->sameAs) bySize[file->Size()].push_back(file);

  for (auto& [size, group] : bySize) {
    if (group.size() < 2) continue;
    // Keeps the first file of each distinct content, keyed by its digest.
    std::multimap<std::uint64_t, SourceNode*> originals;
    for (SourceNode* file : group) {
      std::uint64_t digest = 0;
      if (!PrefixDigest(file->hostPath, &digest, error)) return false;
      auto [first, last] = originals.equal_range(digest);
      for (auto it = first; it != last && !file->sameAs; ++it) {
        const int same = SameContent(it->second->hostPath, file->hostPath, error);
        if (same < 0) return false;
        if (same) file->sameAs = it->second;
      }
      if (file->sameAs) {
        ++result->sharedFiles;
        result->savedBytes += size;
      } else {
        originals.emplace(digest, file);
      }
    }
  }
  return true;
}

}  // namespace oscdimg
