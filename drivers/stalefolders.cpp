#include "drivers/stalefolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace drivers {
namespace {

constexpr mode_t kPrivateMode = 0700;
// Deeper than any unpacked package; a deeper tree is left for the next sweep.
constexpr int kMaxDepth = 128;

struct DirClose { void operator()(DIR* d) const { closedir(d); } };

std::vector<std::string> Names(int folder) {
  std::vector<std::string> names;
  const int copy = fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return names;
  std::unique_ptr<DIR, DirClose> dir(fdopendir(copy));
  if (!dir) {
    close(copy);
    return names;
  }
  while (const dirent* e = readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

// Empties the folder open at fd: files and links unlinked, folders entered
// by descriptor (O_NOFOLLOW) and removed.
bool EmptyFolder(int fd, int depth) {
  if (depth > kMaxDepth) return false;
  bool ok = true;
  for (const std::string& name : Names(fd)) {
    if (unlinkat(fd, name.c_str(), 0) == 0) continue;
    UniqueFd sub(openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    ok = sub && EmptyFolder(sub.get(), depth + 1) && unlinkat(fd, name.c_str(), AT_REMOVEDIR) == 0 && ok;
  }
  return ok;
}

}  // namespace

UniqueFd HoldFolder(const std::string& folder) {
  UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd && flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return UniqueFd();
  return fd;
}

int SweepStaleFolders(const std::string& parent, const std::string& prefix) {
  UniqueFd top(open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!top || prefix.empty()) return 0;
  int removed = 0;
  for (const std::string& name : Names(top.get())) {
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    UniqueFd fd(openat(top.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd || fstat(fd.get(), &st) != 0 || st.st_uid != geteuid() || (st.st_mode & 07777) != kPrivateMode) continue;
    // A live run holds the lock; it is kept while the folder is emptied.
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    if (EmptyFolder(fd.get(), 0) && unlinkat(top.get(), name.c_str(), AT_REMOVEDIR) == 0) ++removed;
  }
  return removed;
}

}  // namespace drivers
