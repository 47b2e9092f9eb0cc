#include "drivers/inputkind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

namespace drivers {
namespace {

// Installers name themselves near the start of the program or of its data;
// the first 8 MiB hold the marker of every installer we know.
constexpr size_t kScanBytes = 8u << 20;
constexpr std::string_view kOleMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

bool Holds(const std::string& bytes, std::string_view marker) {
  return std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end()) != bytes.end();
}

}  // namespace

InputKind ClassifyInput(const std::string& hostPath) {
  struct stat st {};
  if (lstat(hostPath.c_str(), &st) != 0) return InputKind::Unreadable;
  if (S_ISDIR(st.st_mode)) return InputKind::Folder;
  if (!S_ISREG(st.st_mode)) return InputKind::Unreadable;
  const int fd = open(hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return InputKind::Unreadable;
  const InputKind kind = ClassifyOpened(fd);
  close(fd);
  return kind;
}

InputKind ClassifyOpened(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return InputKind::Unreadable;
  if (S_ISDIR(st.st_mode)) return InputKind::Folder;
  if (!S_ISREG(st.st_mode)) return InputKind::Unreadable;
  std::string bytes(std::min<size_t>(kScanBytes, static_cast<size_t>(st.st_size)), '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  if (bytes.compare(0, kOleMagic.size(), kOleMagic) == 0) return InputKind::Msi;
  if (bytes.compare(0, 2, "MZ") == 0) {
    if (Holds(bytes, "Inno Setup")) return InputKind::InnoSetup;
    if (Holds(bytes, "InstallShield")) return InputKind::InstallShield;
  }
  // Everything else is offered to libarchive, which says whether it can read it.
  return InputKind::Archive;
}

}  // namespace drivers
