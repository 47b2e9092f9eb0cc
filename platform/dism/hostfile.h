#pragma once
// Reading a whole file that comes from outside (a driver package's INF and
// the files it lists): regular files only, up to a size cap, every failure an
// errno value rather than a stream exception. Folders, devices and pipes are
// refused without reading a byte, so a name that points at /dev/zero or a
// FIFO costs nothing.

#include <cstddef>
#include <string>

namespace platform::dism {

inline constexpr std::size_t kMiB = 1024 * 1024;

// 0 and the file's bytes, or an errno value: EISDIR for a folder, ENODEV for
// anything else that is not a regular file, EFBIG for a file over cap bytes,
// the host's error for the rest (ENOENT, EACCES, EIO ...).
int ReadHostFile(const std::string& host, std::size_t cap, std::string& bytes);

// Why a read failed, in words for a message ("it is a folder").
std::wstring ReadFailureText(int err, std::size_t cap);

}  // namespace platform::dism
