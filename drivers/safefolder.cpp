#include "drivers/safefolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "platform/invoker/invoker.h"

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

constexpr size_t kCopyBlock = 1 << 20;
constexpr unsigned kFileMode = 0644;
// Deeper than any driver package; bounds the walk's recursion.
constexpr int kMaxDepth = 64;

struct TreeWalk {
  const UnpackLimits& limits;
  bool asInvoker;
  bool refuse;  // refuse what is not a folder or regular file, else leave it out
  std::uint64_t total = 0;
  std::uint64_t members = 0;
  std::string buffer = std::string(kCopyBlock, '\0');

  int OpenBelow(int dir, const std::string& name, int flags) const {
    return asInvoker ? platform::invoker::OpenAt(dir, name, flags) : openat(dir, name.c_str(), flags | O_CLOEXEC);
  }
};

UnpackResult Refusal(UnpackCode code, std::string detail) { return {code, std::move(detail)}; }

UnpackResult CopyFileBelow(TreeWalk& walk, int from, int to, const std::string& name, const std::string& shown) {
  // Non-blocking: a FIFO put in place of the file must not hold the copy.
  UniqueFd in(walk.OpenBelow(from, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (!in) {
    if (errno == ELOOP) return walk.refuse ? Refusal(UnpackCode::Link, shown) : UnpackResult{};
    return Refusal(errno == EACCES || errno == EPERM ? UnpackCode::Unreadable : UnpackCode::Damaged,
                   shown + ": " + std::strerror(errno));
  }
  struct stat st {};
  if (fstat(in.get(), &st) != 0) return Refusal(UnpackCode::Damaged, shown + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return walk.refuse ? Refusal(UnpackCode::Link, shown) : UnpackResult{};
  UniqueFd out(openat(to, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode));
  if (!out || fchmod(out.get(), kFileMode) != 0) return Refusal(UnpackCode::WriteFailed, shown);
  for (;;) {
    const ssize_t n = read(in.get(), walk.buffer.data(), walk.buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Refusal(UnpackCode::Damaged, shown + ": " + std::strerror(errno));
    if (n == 0) break;
    walk.total += static_cast<std::uint64_t>(n);
    if (walk.total > walk.limits.maxTotalBytes) return Refusal(UnpackCode::TooLarge, shown);
    if (!WriteAll(out.get(), walk.buffer.data(), static_cast<size_t>(n))) return Refusal(UnpackCode::WriteFailed, shown);
  }
  if (!out.Close()) return Refusal(UnpackCode::WriteFailed, shown);
  return {};
}

UnpackResult CopyFolderBelow(TreeWalk& walk, int from, int to, const std::string& shown, int depth) {
  if (depth > kMaxDepth) return Refusal(UnpackCode::TooMany, shown);
  // The names first, from a descriptor of our own, so the listing's own
  // descriptor is not held while the walk goes down.
  std::vector<std::string> names;
  {
    const int listed = fcntl(from, F_DUPFD_CLOEXEC, 0);
    DIR* dir = listed >= 0 ? fdopendir(listed) : nullptr;
    if (!dir) {
      if (listed >= 0) close(listed);
      return Refusal(UnpackCode::Damaged, shown + ": " + std::strerror(errno));
    }
    rewinddir(dir);
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      if (++walk.members > walk.limits.maxMembers)
        return closedir(dir), Refusal(UnpackCode::TooMany, std::to_string(walk.limits.maxMembers));
      names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());  // the same order on every file system
  for (const std::string& name : names) {
    const std::string member = shown.empty() ? name : shown + "/" + name;
    UniqueFd sub(walk.OpenBelow(from, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    if (!sub) {
      if (errno != ENOTDIR && errno != ELOOP) {
        return Refusal(errno == EACCES || errno == EPERM ? UnpackCode::Unreadable : UnpackCode::Damaged,
                       member + ": " + std::strerror(errno));
      }
      if (UnpackResult r = CopyFileBelow(walk, from, to, name, member); !r.ok()) return r;
      continue;
    }
    // A folder already there is one of ours (the run's OS folder takes
    // the program's tree and the library's packages one after another).
    const bool made = mkdirat(to, name.c_str(), kFolderMode) == 0;
    UniqueFd target(made || errno == EEXIST ? openat(to, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                                            : -1);
    if (!target || (made && fchmod(target.get(), kFolderMode) != 0)) return Refusal(UnpackCode::WriteFailed, member);
    if (UnpackResult r = CopyFolderBelow(walk, sub.get(), target.get(), member, depth + 1); !r.ok()) return r;
  }
  return {};
}

}  // namespace

UnpackResult CopyTreeFrom(int from, const std::string& root, const std::string& relative,
                          const UnpackLimits& limits, bool asInvoker) {
  UniqueFd to = OpenFolders(root, relative, true);
  if (!to) return Refusal(UnpackCode::WriteFailed, root + "/" + relative);
  TreeWalk walk{limits, asInvoker, true};
  return CopyFolderBelow(walk, from, to.get(), "", 0);
}

bool CopyTreeWithoutLinks(const std::string& from, const std::string& root, const std::string& relative,
                          std::string& error) {
  UniqueFd source(open(from.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  UniqueFd to = source ? OpenFolders(root, relative, true) : UniqueFd();
  if (!source || !to) {
    error = source ? root + "/" + relative : from;
    return false;
  }
  const UnpackLimits unbounded{UINT64_MAX, UINT64_MAX};
  TreeWalk walk{unbounded, false, false};
  const UnpackResult r = CopyFolderBelow(walk, source.get(), to.get(), "", 0);
  if (!r.ok()) error = from + "/" + r.detail;
  return r.ok();
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
