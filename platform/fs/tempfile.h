#pragma once
// Unique temporary files and whole-file rewrites, as the script runner of the
// disk tool uses them.

#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// Creates a new empty file "<folder>\<prefix><hex>.tmp" with a unique
// hexadecimal number of up to four digits and returns its path in *name
// (the folder as given, joined with a backslash). A relative folder is
// relative to the current folder. The file is made with O_EXCL and
// O_NOFOLLOW, readable by its owner only. Returns the number, 0 with the last error
// when no file can be made (3 no such folder, 5 not writable, 80 all taken).
[[nodiscard]] UINT GetTempFileName(std::wstring_view folder, std::wstring_view prefix, std::wstring* name);

// Opens an existing file exclusively, truncates it, writes all bytes and
// flushes them to the device. False with the last error at the first step
// that fails (2 when the file is missing, 32 when another holder has it, 5
// when the name is a link, not a plain file, has other names, or belongs
// to another user: it is never written through).
[[nodiscard]] bool RewriteExistingFile(std::wstring_view path, std::string_view bytes);

}  // namespace platform
