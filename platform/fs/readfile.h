#pragma once
// The one reader of files that come from outside the program: machine
// profiles, INI files of a medium, config.xml, language files, driver INF
// files, pictures. Whatever the file turns out to be, the reader returns an
// error number and never throws or blocks:
//
//   ERROR_SUCCESS (0)                   bytes holds the whole file
//   ERROR_FILE_NOT_FOUND (2)            no such file
//   ERROR_PATH_NOT_FOUND (3)            a folder on the way is missing
//   ERROR_ACCESS_DENIED (5)             no permission to read it
//   ERROR_READ_FAULT (30)               the medium failed while it was read
//   ERROR_INVALID_NAME (123)            the name holds a NUL character
//   ERROR_BAD_FILE_TYPE (222)           a device, pipe or socket (/dev/zero)
//   ERROR_FILE_TOO_LARGE (223)          more than maxBytes; refused from its
//                                       size, without reading it
//   ERROR_DIRECTORY_NOT_SUPPORTED (336) a folder
//
// Nothing but regular files is read, so a device or a pipe named where a
// file is expected is refused at once. The result is also the calling
// thread's last error. Any thread may call these.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// The cap for text files a user or a medium gives us (profiles, INI, XML,
// INF, language files): far above any real one, far below what hurts.
inline constexpr std::size_t kOutsideTextLimit = 16u << 20;

// Reads the whole file at a host path ("/media/dvd/sources/product.ini").
[[nodiscard]] DWORD ReadHostFile(std::string_view hostPath, std::string& bytes, std::size_t maxBytes = kOutsideTextLimit);

// The last count bytes of a regular file at a host path (all of it when it
// is shorter), for the end of a log. A link at the name is never followed
// (an error, as for the kinds ReadHostFile refuses).
DWORD ReadHostFileTail(const std::string& hostPath, std::string& bytes, std::size_t count);

// Whether something other than a regular file (a folder, a device, a pipe,
// a socket, a symbolic link) stands at a host path; false when nothing is
// there. The link itself is looked at, never its target.
bool IsHostNonRegularFile(const std::string& hostPath);

// The same for a system path ("E:\sources\product.ini"), resolved through
// the machine's drives; the resolution's own failures (3, 21, 123) come back
// as they are.
[[nodiscard]] DWORD ReadSystemFile(std::wstring_view path, std::string& bytes, std::size_t maxBytes = kOutsideTextLimit);

// The first count bytes of a file at a system path (fewer when the file is
// shorter), with the same checks and results as ReadSystemFile but no size
// cap: for the headers of files too large to read whole (a WIM's).
[[nodiscard]] DWORD ReadSystemFileHead(std::wstring_view path, std::string& bytes, std::size_t count);

// A short reason for a result of the two readers, for messages of the form
// "file: reason" ("is a folder", "is larger than the program accepts").
const char* ReadFileErrorText(DWORD error);

}  // namespace platform
