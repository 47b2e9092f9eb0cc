#pragma once
// Files and folders by system path. Every call that fails sets the last
// error (GetLastError) to the system's error number and returns false, an
// invalid value or an empty result; none throws.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

struct FindData {
  DWORD attributes = 0;
  std::uint64_t size = 0;
  std::wstring name;

  // "." or "..", which every walk of a tree passes over.
  bool IsDots() const { return name == L"." || name == L".."; }
  bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  // A symbolic link (a reparse point), to a file or a folder.
  bool IsLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
  // A folder a tree walk goes into: a real one, never a link to one (which
  // may lead outside the tree or back into it).
  bool IsSubtree() const { return IsFolder() && !IsLink(); }
};

// Lists the entries of a folder that match the last component of pattern
// ("C:\dir\*.*", "C:\dir\*", "C:\dir\*.inf"; '*' and '?' wildcards, case
// ignored, "*.*" matching every name), the way the system's find-file calls
// do, "." and ".." included for a folder that is not a drive root. False with
// last error 3 when the folder is missing, 2 when nothing matches.
bool FindFiles(std::wstring_view pattern, std::vector<FindData>& out);

// Attributes: directory, read-only (no write permission), hidden (a name
// starting with '.'), archive for files. INVALID_FILE_ATTRIBUTES on failure.
// A symbolic link reports its own: reparse point, directory when it points
// to a folder, never read-only; sizes in listings are those of its target.
[[nodiscard]] DWORD GetFileAttributes(std::wstring_view path);
// Only the read-only bit changes anything on this platform. On a link it
// changes nothing: the link is the file, not what it points to.
bool SetFileAttributes(std::wstring_view path, DWORD attributes);

[[nodiscard]] bool PathExists(std::wstring_view path);
[[nodiscard]] bool IsDirectory(std::wstring_view path);

// One level; fails with 183 when it exists, 3 when the parent is missing.
bool CreateDirectory(std::wstring_view path);
// Every missing level; ERROR_SUCCESS, ERROR_ALREADY_EXISTS or the failure.
DWORD CreateDirectoryRecursive(std::wstring_view path);
// An empty folder only; 145 when not empty. A link to a folder is removed as
// a link. A drive's root folder, however spelt, is refused with 5.
bool RemoveDirectory(std::wstring_view path);
// A file only; a read-only file is refused with 5, as the system does.
bool DeleteFile(std::wstring_view path);

inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
// A drive's root folder, however spelt, is refused with 5. Without
// MOVEFILE_REPLACE_EXISTING nothing under the new name is ever replaced,
// not even a file that appears there while the move is made: 183.
bool MoveFile(std::wstring_view from, std::wstring_view to, DWORD flags = 0);

// Writes a regular file's data out to its device (fsync). False with the
// last error when it cannot be opened or the device reports a failure; 5
// for anything but a regular file, which is never followed as a link.
[[nodiscard]] bool FlushFileToDevice(std::wstring_view path);

// Size in bytes; false when the file cannot be opened for reading.
[[nodiscard]] bool GetFileSize(std::wstring_view path, std::uint64_t& size);

// Copies one file, overwriting unless failIfExists; keeps the file times.
bool CopyFile(std::wstring_view from, std::wstring_view to, bool failIfExists);

}  // namespace platform
