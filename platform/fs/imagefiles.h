#pragma once
// Files on drives backed by a disc image (a profile's `image =`, or an ISO
// file named on the command line): read-only, answered from the image's own
// file system with no host path, no mount and no loop device. The file
// services call these first; a path on any other drive is not theirs.
// Internal to the platform layer.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/copyfile.h"
#include "platform/fs/files.h"
#include "platform/image/imagevolume.h"
#include "platform/types.h"

namespace platform {

struct ImageLocation {
  std::shared_ptr<image::ImageVolume> volume;
  int node = -1;              // -1: nothing at that path
  bool folderMissing = false; // a folder on the way is missing too
  bool root = false;          // the drive's root folder
};

enum class ImageLookup { kNotImage, kFound, kFailed };

// kNotImage for a path on another drive (or no drive); kFailed with the last
// error set when the drive has no medium (21), its image cannot be read
// (21) or the path holds a NUL (123); else the location (node -1 when
// nothing is there).
ImageLookup LocateImagePath(std::wstring_view path, ImageLocation& where);

// The entries of a folder ("." and ".." first unless it is the root); false
// with 3 when it is missing or not a folder.
bool ImageListFolder(const ImageLocation& where, std::vector<FindData>& out);
DWORD ImageAttributes(const ImageLocation& where);
bool ImageFileSize(const ImageLocation& where, std::uint64_t& size);
DWORD ImageReadWholeFile(const ImageLocation& where, std::string& bytes, std::size_t maxBytes);
// CopyFileEx from an image drive into the host folder dst.
bool ImageCopyFile(const ImageLocation& from, const std::string& dst, LPPROGRESS_ROUTINE progress, void* data,
                   bool* cancel, DWORD flags);

}  // namespace platform
