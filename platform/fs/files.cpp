#include "platform/fs/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/fs/copyfile.h"
#include "platform/fs/dirnames.h"
#include "platform/fs/imagefiles.h"
#include "platform/lasterror.h"
#include "platform/fs/paths.h"
#include "platform/text.h"

namespace platform {

namespace {

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

bool FailErrno() { return Fail(ErrorFromErrno(errno)); }

// Renames without replacing anything under the new name. A file system
// that cannot rename that way gets a new link and the old name removed,
// which cannot replace either. False with errno set.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return false;
  // A folder cannot take a second name.
  if (S_ISDIR(st.st_mode)) {
    errno = EINVAL;
    return false;
  }
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  if (::unlink(from.c_str()) == 0) return true;
  const int saved = errno;
  ::unlink(to.c_str());
  errno = saved;
  return false;
}

DWORD AttributesOf(const struct stat& st, std::string_view name) {
  DWORD a = 0;
  if (S_ISDIR(st.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
  else a |= FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") a |= FILE_ATTRIBUTE_HIDDEN;
  return a;
}

// A link's own attributes: a reparse point, a folder when it points to one,
// never read-only (a link has no permissions of its own here). st describes
// what it points to, when that exists.
DWORD LinkAttributes(const struct stat& st, std::string_view name) {
  return FILE_ATTRIBUTE_REPARSE_POINT | (AttributesOf(st, name) & ~FILE_ATTRIBUTE_READONLY);
}

// Case-insensitive wildcard match of a wide name.
bool WildMatch(std::wstring_view pat, std::wstring_view name) {
  size_t p = 0, n = 0, starP = std::wstring_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pat.size() && (pat[p] == L'?' || FoldCase(pat[p]) == FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (p < pat.size() && pat[p] == L'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::wstring_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == L'*') ++p;
  return p == pat.size();
}

std::string BaseName(const std::string& host) {
  auto slash = host.rfind('/');
  return slash == std::string::npos ? host : host.substr(slash + 1);
}

}  // namespace

bool FindFiles(std::wstring_view pattern, std::vector<FindData>& out) {
  out.clear();
  size_t sep = pattern.find_last_of(L"\\/");
  std::wstring_view folder = sep == std::wstring_view::npos ? std::wstring_view(L".") : pattern.substr(0, sep + 1);
  std::wstring_view mask = sep == std::wstring_view::npos ? pattern : pattern.substr(sep + 1);
  if (mask == L"*.*") mask = L"*";
  const bool isRoot = IsDriveRoot(folder);
  const bool all = mask == L"*";
  ImageLocation image;
  if (const ImageLookup lookup = LocateImagePath(folder, image); lookup != ImageLookup::kNotImage) {
    std::vector<FindData> entries;
    if (lookup == ImageLookup::kFailed || !ImageListFolder(image, entries)) return false;
    for (auto& fd : entries)
      if (all || WildMatch(mask, fd.name)) out.push_back(std::move(fd));
    return out.empty() ? Fail(ERROR_FILE_NOT_FOUND) : true;
  }
  std::string dirHost;
  if (!ResolvePath(folder, dirHost)) return false;
  DIR* d = ::opendir(dirHost.c_str());
  if (!d) return Fail(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
  const int dfd = ::dirfd(d);
  while (dirent* e = ::readdir(d)) {
    const char* name = e->d_name;
    bool dots = name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
    if (isRoot && dots) continue;
    std::wstring wname = WideFromAnsi(name);
    if (!all && !WildMatch(mask, wname)) continue;
    // Relative to the open folder: no walk of the whole path per entry.
    struct stat st;
    if (::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    FindData fd;
    if (S_ISLNK(st.st_mode)) {
      struct stat target;
      if (::fstatat(dfd, name, &target, 0) == 0) st = target;
      else st.st_size = 0;  // a dangling link holds no data
      fd.attributes = LinkAttributes(st, name);
    } else {
      fd.attributes = AttributesOf(st, name);
    }
    fd.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    fd.name = std::move(wname);
    out.push_back(std::move(fd));
  }
  ::closedir(d);
  if (out.empty()) return Fail(ERROR_FILE_NOT_FOUND);
  return true;
}

DWORD GetFileAttributes(std::wstring_view path) {
  ImageLocation image;
  if (const ImageLookup lookup = LocateImagePath(path, image); lookup != ImageLookup::kNotImage)
    return lookup == ImageLookup::kFound ? ImageAttributes(image) : INVALID_FILE_ATTRIBUTES;
  std::string host;
  if (!ResolvePath(path, host)) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    if (::stat(host.c_str(), &target) == 0) st = target;
    return LinkAttributes(st, BaseName(host));
  }
  return AttributesOf(st, BaseName(host));
}

bool SetFileAttributes(std::wstring_view path, DWORD attributes) {
  std::string host;
  if (!ResolvePath(path, host)) return false;
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) return FailErrno();
  // The change applies to the link itself, which has no read-only bit here:
  // the file it points to, maybe outside the tree, keeps its permissions.
  if (S_ISLNK(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  if (attributes & FILE_ATTRIBUTE_READONLY) mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else mode |= S_IWUSR;
  if (mode != (st.st_mode & 07777) && ::chmod(host.c_str(), mode) != 0) return FailErrno();
  return true;
}

bool PathExists(std::wstring_view path) { return GetFileAttributes(path) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(std::wstring_view path) {
  DWORD a = GetFileAttributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectory(std::wstring_view path) {
  std::string host;
  if (!ResolvePath(path, host)) return false;
  dirnames::Change change(host);
  if (::mkdir(host.c_str(), 0777) != 0)
    return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
  change.Added();
  return true;
}

DWORD CreateDirectoryRecursive(std::wstring_view path) {
  std::string host;
  if (!ResolvePath(path, host)) return GetLastError();
  struct stat st;
  if (::stat(host.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
  for (size_t pos = 1; pos <= host.size(); ++pos) {
    if (pos == host.size() || host[pos] == '/') {
      std::string part = host.substr(0, pos);
      dirnames::Change change(part);
      if (::mkdir(part.c_str(), 0777) == 0) {
        change.Added();
      } else if (errno != EEXIST) {
        DWORD e = ErrorFromErrno(errno);
        SetLastError(e);
        return e;
      }
    }
  }
  return ERROR_SUCCESS;
}

bool RemoveDirectory(std::wstring_view path) {
  std::string host;
  if (!ResolvePath(path, host)) return false;
  dirnames::Change change(host);
  struct stat st;
  if (::lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // A link to a folder goes as a link; what it points to stays.
    if (::unlink(host.c_str()) != 0) return FailErrno();
    change.Removed();
    return true;
  }
  // A drive's folder stays, whatever path led here: emptying a drive must
  // never take the drive (or the folder behind it) away.
  if (IsDriveRootHost(host)) return Fail(ERROR_ACCESS_DENIED);
  if (::rmdir(host.c_str()) != 0) return Fail(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(errno));
  change.Removed();
  return true;
}

bool DeleteFile(std::wstring_view path) {
  std::string host;
  if (!ResolvePath(path, host)) return false;
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) return FailErrno();
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) return Fail(ERROR_ACCESS_DENIED);
  dirnames::Change change(host);
  if (::unlink(host.c_str()) != 0) return FailErrno();
  change.Removed();
  return true;
}

bool MoveFile(std::wstring_view from, std::wstring_view to, DWORD flags) {
  std::string src, dst;
  if (!ResolvePath(from, src) || !ResolvePath(to, dst)) return false;
  // A drive's folder never moves away from under its letter.
  if (IsDriveRootHost(src)) return Fail(ERROR_ACCESS_DENIED);
  struct stat st;
  if (::lstat(src.c_str(), &st) != 0) return FailErrno();
  const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) || src == dst;
  if (!replace && ::lstat(dst.c_str(), &st) == 0) return Fail(ERROR_ALREADY_EXISTS);
  dirnames::Change leaving(src), arriving(dst);
  if (!replace) {
    // The look above only saves work: a file that appears under the new
    // name in the meantime must still never be replaced.
    if (RenameNoReplace(src, dst)) {
      leaving.Removed();
      arriving.Added();
      return true;
    }
    if (errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
  } else if (::rename(src.c_str(), dst.c_str()) == 0) {
    leaving.Removed();
    arriving.Added();
    return true;
  }
  if (errno != EXDEV) return FailErrno();
  // Across file systems: copy, then remove the original.
  if (!CopyFile(from, to, !(flags & MOVEFILE_REPLACE_EXISTING))) return false;
  if (::unlink(src.c_str()) != 0) return FailErrno();
  leaving.Removed();
  return true;
}

bool FlushFileToDevice(std::wstring_view path) {
  std::string host;
  if (!ResolvePath(path, host)) return false;
  const int fd = ::open(host.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ELOOP ? Fail(ERROR_ACCESS_DENIED) : FailErrno();
  struct stat st;
  DWORD error = ERROR_SUCCESS;
  if (::fstat(fd, &st) != 0) error = ErrorFromErrno(errno);
  else if (!S_ISREG(st.st_mode)) error = ERROR_ACCESS_DENIED;
  else if (::fsync(fd) != 0) error = ErrorFromErrno(errno);
  ::close(fd);
  return error == ERROR_SUCCESS || Fail(error);
}

bool GetFileSize(std::wstring_view path, std::uint64_t& size) {
  size = 0;
  ImageLocation image;
  if (const ImageLookup lookup = LocateImagePath(path, image); lookup != ImageLookup::kNotImage)
    return lookup == ImageLookup::kFound && ImageFileSize(image, size);
  std::string host;
  if (!ResolvePath(path, host)) return false;
  // Non-blocking: asking a pipe's size must not wait for a writer.
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return FailErrno();
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0;
  ::close(fd);
  if (!ok) return FailErrno();
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool CopyFile(std::wstring_view from, std::wstring_view to, bool failIfExists) {
  bool cancel = false;
  return CopyFileEx(from, to, nullptr, nullptr, &cancel, failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0);
}

}  // namespace platform
