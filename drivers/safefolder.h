#pragma once
// Folder and file writes that never go through a symbolic link: every path
// is walked component by component from an opened root with O_NOFOLLOW, and
// files are created anew (O_EXCL). Used for the temporary unpacking folder,
// the driver library and the run's OS folder, which the program writes as
// root.

#include <cstddef>
#include <string>

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
// file that failed in error.
bool CopyTreeWithoutLinks(const std::string& from, const std::string& root, const std::string& relative,
                          std::string& error);

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
