#pragma once
// The ISO image's temporary file. The image is written under a temporary
// name in the ISO folder and gets its numbered name only once complete, so
// the folder never holds a half-written image under an image's name. The
// file is made when the run is set up, before anything is written: making it
// proves the folder takes a file, for the user the run is for.

#include <string>

// Makes a new empty file in isoFolder (with or without a closing
// backslash) whose name ends in ".tmp": neither the image numbering nor a
// search for images counts it. Its path in path. False with the last error
// (3 no such folder, 5 not writable). This is the one place where the file
// is made.
[[nodiscard]] bool CreateIsoImageTempFile(const std::wstring& isoFolder, std::wstring& path);

// Removes the file if it is still there (a cancelled, failed or never
// started image step); nothing for an empty path.
void RemoveIsoImageTempFile(const std::wstring& path);
