#include "tools/oscdimg/layoutcheck.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tools/oscdimg/targetfile.h"

namespace oscdimg {
namespace {

constexpr std::uint64_t kBlock = 2048;

// Whether the file's first block (and, with ends, its last block) is in
// the image at the given block. False with error set only on a read error.
bool FoundAt(TargetFile& file, const SourceNode& node, std::uint32_t block, bool ends, std::string* error) {
  std::vector<char> inImage(kBlock), inSource(kBlock);
  const std::uint64_t size = node.Size();
  const int fd = open(node.hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot read " + node.hostPath;
    return false;
  }
  bool same = true;
  for (std::uint64_t at : {std::uint64_t{0}, (size - 1) / kBlock * kBlock}) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size - at));
    same = same && pread(fd, inSource.data(), n, static_cast<off_t>(at)) == static_cast<ssize_t>(n) &&
           file.ReadAt(inImage.data(), n, std::uint64_t{block} * kBlock + at, error) &&
           std::memcmp(inImage.data(), inSource.data(), n) == 0;
    if (!ends) break;
  }
  close(fd);
  return same;
}

}  // namespace

// The UDF side points at file data where the layout says it is. libisofs
// reports where file data begins but may keep a few blocks of its own
// there, so the start is confirmed (and if need be moved) by finding the
// first files' data; then the first and last block of every file are
// compared with the source before anything of UDF is written: a layout
// that differs fails the image instead of giving UDF readers other data.
bool ConfirmLayout(TargetFile& file, std::map<const SourceNode*, std::uint32_t>* blocks, std::string* error) {
  constexpr std::uint32_t kMaxShift = 64;
  constexpr std::size_t kProbeFiles = 4;
  std::vector<std::pair<const SourceNode*, std::uint32_t>> laidOut;
  for (const auto& [node, block] : *blocks)
    if (node->Size() > 0) laidOut.emplace_back(node, block);
  std::sort(laidOut.begin(), laidOut.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  std::uint32_t shift = 0;
  for (; shift < kMaxShift; ++shift) {
    bool all = true;
    for (std::size_t i = 0; i < std::min(kProbeFiles, laidOut.size()) && all; ++i)
      all = FoundAt(file, *laidOut[i].first, laidOut[i].second + shift, false, error);
    if (!error->empty()) return false;
    if (all) break;
  }
  for (auto& [node, block] : *blocks) {
    block += shift;
    if (node->Size() > 0 && !FoundAt(file, *node, block, true, error)) {
      if (error->empty()) *error = "the UDF bridge found the data of " + node->hostPath + " elsewhere than laid out";
      return false;
    }
  }
  return true;
}

}  // namespace oscdimg
