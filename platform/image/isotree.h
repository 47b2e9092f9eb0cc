#pragma once
// Our reader of ISO 9660 with Joliet names: the volume descriptors, then the
// folder records from the root down (Joliet's tree when the image has one,
// else the primary one), into a Tree. Multi-extent files (over 4 GiB) are
// joined. The walk is bounded by ImageLimits and refuses a folder whose
// records were read before (a folder that links back up the tree), records
// that run past their folder or the image, interleaved files and names no
// file can have. Nothing is read past the image's end.

#include <cstdint>
#include <string>

#include "platform/image/imagesource.h"
#include "platform/image/imagetree.h"

namespace platform::image {

// False with error saying what is wrong (without the image's name).
bool ReadIsoTree(const ImageSource& image, Tree& tree, std::string& error, const ImageLimits& limits = {});

// The primary volume descriptor's creation time (0: none, or no ISO 9660).
std::int64_t IsoRecordingTime(const ImageSource& image);

// Whether the image holds an ISO 9660 primary volume descriptor.
bool HasIso9660(const ImageSource& image);

// The bootable entries of the image's El Torito catalog; 0 without one.
int CountBootEntries(const ImageSource& image);

}  // namespace platform::image
