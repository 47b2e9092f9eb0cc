#include "drivers/safefolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

namespace drivers {
namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kPrivateMode = 0700;
constexpr int kAttempts = 100;

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) close(fd_);
}

bool UniqueFd::Close() {
  if (fd_ < 0) return false;
  const bool synced = fsync(fd_) == 0;
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  return synced && closed;
}

UniqueFd OpenFolders(const std::string& root, const std::string& relative, bool create) {
  UniqueFd dir(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir) return {};
  size_t start = 0;
  while (start < relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return {};
    const bool made = create && mkdirat(dir.get(), part.c_str(), kFolderMode) == 0;
    if (create && !made && errno != EEXIST) return {};
    UniqueFd next(openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) return {};
    // The library is read by everyone whatever the umask of the one who adds.
    if (made && fchmod(next.get(), kFolderMode) != 0) return {};
    dir = std::move(next);
  }
  return dir;
}

UniqueFd CreateNewFile(const std::string& root, const std::string& relative, unsigned mode) {
  const size_t slash = relative.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : relative.substr(0, slash);
  const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return {};
  UniqueFd dir = OpenFolders(root, folder, true);
  if (!dir) return {};
  UniqueFd file(openat(dir.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (file && fchmod(file.get(), mode) != 0) return {};
  return file;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

namespace {

bool CopyOneFile(const std::string& from, const std::string& root, const std::string& relative) {
  constexpr size_t kCopyBlock = 1 << 20;
  constexpr unsigned kFileMode = 0644;
  UniqueFd in(open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  UniqueFd out = in ? CreateNewFile(root, relative, kFileMode) : UniqueFd();
  if (!out) return false;
  std::string buffer(kCopyBlock, '\0');
  for (;;) {
    const ssize_t n = read(in.get(), buffer.data(), buffer.size());
    if (n < 0) return false;
    if (n == 0) break;
    if (!WriteAll(out.get(), buffer.data(), static_cast<size_t>(n))) return false;
  }
  return out.Close();
}

}  // namespace

bool CopyTreeWithoutLinks(const std::string& from, const std::string& root, const std::string& relative,
                          std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!MakeFolders(root, relative)) {
    error = root + "/" + relative;
    return false;
  }
  for (fs::recursive_directory_iterator it(from, fs::directory_options::none, ec), end; !ec && it != end;
       it.increment(ec)) {
    const fs::file_status st = it->symlink_status(ec);
    const std::string rel = relative + (relative.empty() ? "" : "/") + fs::relative(it->path(), from).string();
    if (fs::is_directory(st)) {
      if (!MakeFolders(root, rel)) {
        error = root + "/" + rel;
        return false;
      }
    } else if (fs::is_regular_file(st) && !CopyOneFile(it->path().string(), root, rel)) {
      error = it->path().string();
      return false;
    }
  }
  if (ec) error = from + ": " + ec.message();
  return !ec;
}

std::string MakePrivateFolder(const std::string& parent, const std::string& prefix) {
  std::random_device random;
  for (int i = 0; i < kAttempts; ++i) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%08x%08x", random(), random());
    const std::string path = parent + "/" + prefix + suffix;
    if (mkdir(path.c_str(), kPrivateMode) == 0) return path;
    if (errno != EEXIST) return {};
  }
  return {};
}

bool RemoveTree(const std::string& host) {
  std::error_code ec;
  std::filesystem::remove_all(host, ec);  // never follows a link: removes the link itself
  return !ec && !std::filesystem::exists(std::filesystem::symlink_status(host, ec));
}

bool TrustedFolder(const std::string& host, bool create, std::string& error) {
  std::error_code ec;
  if (create && !std::filesystem::exists(std::filesystem::symlink_status(host, ec))) {
    // The folders made here are readable by everyone whatever the umask.
    std::vector<std::filesystem::path> missing;
    for (std::filesystem::path p = host; !p.empty() && !std::filesystem::exists(std::filesystem::symlink_status(p, ec));
         p = p.parent_path())
      missing.push_back(p);
    std::filesystem::create_directories(host, ec);
    if (ec) {
      error = host + ": " + ec.message();
      return false;
    }
    for (const auto& p : missing) chmod(p.c_str(), kFolderMode);
  }
  UniqueFd fd(open(host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!fd || fstat(fd.get(), &st) != 0) {
    error = host + ": " + std::strerror(errno);
    return false;
  }
  if ((st.st_uid != geteuid() && st.st_uid != 0) || (st.st_mode & (S_IWGRP | S_IWOTH))) {
    error = host + ": owned by another user or writable by others";
    return false;
  }
  return true;
}

}  // namespace drivers
