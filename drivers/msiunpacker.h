#pragma once
// Unpacks an MSI package with msitools' msiextract (/usr/bin/msiextract,
// clean environment) into a private folder. Its list of names is checked
// first (SafeMemberName, the member cap), the files it writes are capped in
// size, and the tree it leaves is checked afterwards: no links or special
// files, the total within the cap.

#include <string>

#include "drivers/unpackresult.h"

namespace drivers {

inline constexpr const char* kMsiExtract = "/usr/bin/msiextract";

UnpackResult UnpackMsi(const std::string& msiHost, const std::string& folderHost, const UnpackLimits& limits = {});

// Walks an unpacked tree: Link for anything but files and folders,
// TooLarge/TooMany past the caps.
UnpackResult CheckUnpackedTree(const std::string& folderHost, const UnpackLimits& limits);

}  // namespace drivers
