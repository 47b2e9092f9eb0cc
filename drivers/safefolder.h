#pragma once
// Folder and file writes that never go through a symbolic link: every path
// is walked component by component from an opened root with O_NOFOLLOW, and
// files are created anew (O_EXCL). Used for the temporary unpacking folder,
// the driver library and the run's OS folder, which the program writes as
// root.

#include <cstddef>
#include <string>

#include "drivers/unpackresult.h"

namespace drivers {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  ~UniqueFd();
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // fsync and close; false when either fails.
  bool Close();

 private:
  int fd_ = -1;
};

// Opens the folder relative (a '/'-separated path below root, made where
// missing with mode 0755); an invalid fd when a component is a link, not
// a folder, or cannot be made.
UniqueFd OpenFolders(const std::string& root, const std::string& relative, bool create);
inline bool MakeFolders(const std::string& root, const std::string& relative) {
  return static_cast<bool>(OpenFolders(root, relative, true));
}
// Creates the file relative below root (its folders made as above); fails
// when the file exists.
UniqueFd CreateNewFile(const std::string& root, const std::string& relative, unsigned mode);
bool WriteAll(int fd, const char* data, size_t size);

// Copies the regular files and folders below from (links and special files
// left out) into root/relative, its folders made as above; false with the
// file that failed in error. Walked as CopyTreeFrom does.
bool CopyTreeWithoutLinks(const std::string& from, const std::string& root, const std::string& relative,
                          std::string& error);

// Copies the tree below the opened folder from into root/relative in one
// walk by descriptor, so what is copied is what was looked at: each folder
// is opened from its parent's descriptor without following a link, each
// file opened without blocking and taken only when its descriptor is a
// regular file. Links, FIFOs, devices and sockets refuse the copy (Link);
// the caps count members and the bytes actually copied, so a file that
// grows while it is read stops it (TooLarge). With asInvoker every open
// below from is made as the user root runs for (platform/invoker): a member
// that user cannot read (a hard link to someone else's file) refuses it
// (Unreadable). The detail names the member, relative to from.
UnpackResult CopyTreeFrom(int from, const std::string& root, const std::string& relative,
                          const UnpackLimits& limits, bool asInvoker);

// A new private folder (mode 0700) below parent; empty on failure.
std::string MakePrivateFolder(const std::string& parent, const std::string& prefix);
// Removes a tree without following links; true when it is gone.
bool RemoveTree(const std::string& host);

// A folder the program may write as its owner: a real folder (no link),
// owned by this process's user or by root, writable by nobody else. Made
// (mode 0755, with its parents) when missing and create is set. A message
// naming the folder when it fails.
bool TrustedFolder(const std::string& host, bool create, std::string& error);

}  // namespace drivers
