#include "tools/oscdimg/targetplace.h"

#include <sys/stat.h>

#include <filesystem>

namespace oscdimg {
namespace {

namespace fs = std::filesystem;

bool Within(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i)
    if (i == inner.end() || *i != *o) return false;
  return true;
}

bool SameStamp(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

bool TargetOutsideSource(const std::string& sourceFolder, const std::string& target, std::string* error) {
  std::error_code ec;
  const fs::path source = fs::weakly_canonical(sourceFolder, ec);
  if (ec) return true;  // the tree reader names a missing source
  // The folder the file goes into as the host resolves it, then the name;
  // a name that is a link is resolved too.
  const fs::path targetPath = fs::weakly_canonical(target, ec);
  if (ec) return true;
  struct stat t {}, s {};
  if (Within(targetPath, source) || (::stat(target.c_str(), &t) == 0 && ::stat(sourceFolder.c_str(), &s) == 0 &&
                                     t.st_dev == s.st_dev && t.st_ino == s.st_ino)) {
    *error = "the image file " + target + " would lie inside the source folder " + sourceFolder;
    return false;
  }
  return true;
}

bool SourceFilesUnchanged(const SourceTree& tree, std::string* error) {
  for (const SourceNode* file : FilesOf(tree)) {
    struct stat now {};
    if (::stat(file->hostPath.c_str(), &now) != 0 || now.st_size != file->info.st_size ||
        !SameStamp(now.st_mtim, file->info.st_mtim)) {
      *error = "the source file " + file->hostPath + " changed while the image was made (it holds " +
               std::to_string(now.st_size) + " bytes, " + std::to_string(file->info.st_size) + " when it was read)";
      return false;
    }
  }
  return true;
}

}  // namespace oscdimg
