#pragma once
// Optical drives whose medium is a disc image file: declared by a profile
// (`image = win7.iso`) or added for an ISO file named on a command line.
// Such a drive answers as a CD-ROM drive with the disc in it: type 5, the
// image's own label, "UDF" or "CDFS", the image's size and no free space.

#include <cstdint>
#include <string>

#include "platform/machine/machine.h"

namespace platform {

// Fills in what the image tells of a drive whose image is set (type CD-ROM,
// label and file system unless declared, sizes); false with a reason naming
// the image file when it cannot be read as a disc.
bool CompleteImageDrive(DriveDecl& drive, std::string& error);

// Adds an image drive for hostPath to the current machine at the first
// letter from D: that it does not use; the letter, or 0 with error set. The
// file came from a command line: it is opened as the invoking user, so root
// reads only an image or device that user could read. A file added before
// keeps its drive: its letter is returned again.
wchar_t AddImageDrive(const std::string& hostPath, std::string& error);

// The image file (absolute host path) behind a drive AddImageDrive added;
// empty for any other drive, a profile's image drives included.
std::string GivenImageOf(wchar_t letter);

// Volume queries of an image drive (see volumes.h).
bool ImageVolumeInformation(const DriveDecl& drive, std::wstring* label, std::wstring* fileSystem);
bool ImageDiskSpace(const DriveDecl& drive, std::uint64_t* freeToCaller, std::uint64_t* total, std::uint64_t* totalFree);

}  // namespace platform
