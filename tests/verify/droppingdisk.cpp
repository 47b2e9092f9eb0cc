#include "droppingdisk.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <vector>

DroppingDisk::DroppingDisk(std::string hostImage, std::uint64_t keptBytes)
    : image_(std::move(hostImage)), kept_(keptBytes) {}

bool DroppingDisk::Write(std::uint64_t offset, const char* data, std::uint64_t length) {
  const int fd = open(image_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // The reported size grows as with any write...
  const off_t end = static_cast<off_t>(offset + length);
  if (lseek(fd, 0, SEEK_END) < end) (void)!ftruncate(fd, end);
  // ...but only what lies below the limit is stored.
  if (offset < kept_) {
    const std::uint64_t keep = std::min(length, kept_ - offset);
    (void)!pwrite(fd, data, keep, static_cast<off_t>(offset));
  }
  fsync(fd);
  close(fd);
  return true;
}

bool DroppingDisk::WriteFileImage(const std::string& hostFile) {
  std::ifstream in(hostFile, std::ios::binary);
  if (!in) return false;
  std::vector<char> chunk(1 << 20);
  std::uint64_t offset = 0;
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto n = static_cast<std::uint64_t>(in.gcount());
    if (n == 0) break;
    if (!Write(offset, chunk.data(), n)) return false;
    offset += n;
  }
  return true;
}
