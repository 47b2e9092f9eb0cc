#pragma once
// System paths ("E:\sources\boot.wim") and host paths ("/media/dvd/sources/boot.wim").
//
// A drive-letter path resolves through the machine's drive namespace. Each
// component that does not exist in its exact case is matched without regard
// to case, as the system's file systems behave; a component that matches
// nothing is kept as written (it may be about to be created). The prefixes
// "\\?\" and "\\.\" are accepted before a drive letter. A path without a
// drive letter is relative to the host's current folder. Both '\' and '/'
// separate components.

#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// False with last error 3 (path not found) for a letter the machine does not
// map, 21 (not ready) for a drive without medium, 123 for a name holding a
// NUL character.
[[nodiscard]] bool ResolvePath(std::wstring_view path, std::string& host);

// The system path of a host path: the drive whose folder holds it (the
// longest match), else Z: for the host root.
std::wstring SystemPathFromHost(const std::string& host);

// "E:\a\b\" -> 'E'; 0 when the path does not start with a drive letter.
wchar_t DriveLetterOf(std::wstring_view path);

// "E:" or "E:\": the root of a drive, by its spelling only.
bool IsDriveRoot(std::wstring_view path);

// Whether the path leads to the folder of any drive of the machine, however
// it is spelt ("E:\.", "\\?\E:\", "E:\x\..", or a path on another drive
// whose folder holds this one): compared by the host folder it resolves to.
// A link is never a root (removing it leaves its target alone).
bool IsDriveRootFolder(std::wstring_view path);
// The same for a host path.
bool IsDriveRootHost(const std::string& host);

// Joins with exactly one backslash between the parts.
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

}  // namespace platform
