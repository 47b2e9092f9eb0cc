#pragma once
// Unpacks a ZIP, CAB or 7z archive, or a self-extracting program that
// carries one, with libarchive into a folder that the caller made private
// (mode 0700, empty). Only regular files and folders are written, each name
// checked (SafeMemberName), every file created anew (O_EXCL, O_NOFOLLOW);
// the caps count the bytes actually read, not what the headers claim. On
// failure the folder may hold part of the archive: the caller removes it.

#include <string>

#include "drivers/unpackresult.h"

namespace drivers {

UnpackResult UnpackArchive(const std::string& archiveHost, const std::string& folderHost,
                           const UnpackLimits& limits = {});
// The same for an archive already opened (read from its start).
UnpackResult UnpackArchive(int archiveFd, const std::string& folderHost, const UnpackLimits& limits = {});

}  // namespace drivers
