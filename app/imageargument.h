#pragma once
// The wizard started on a disc image (`kestrunex win7.iso`, or a file
// manager's "Open with"): the image becomes an optical drive of this process
// at the first free letter from D:, so the source page lists it beside the
// real drives. This is the wizard's one command-line argument.

#include <string>

#include "platform/windows/window.h"

// The image named on the command line, as an absolute host path: the last
// argument that names an existing regular file (links followed; Qt's own
// options name none); empty
// when there is none. Call before the current folder changes.
std::string ImageArgument(int argc, char** argv);

// Adds the drive (a file added before keeps its drive); when the image
// cannot be read, says so in a message box owned by owner, naming the file
// and the reason (the wizard then goes on with the drives it has). The
// drive's letter, or 0 for none. The source page's "Open an ISO image"
// control adds its file the same way.
wchar_t AddImageArgumentDrive(const std::string& image, platform::HWND owner = nullptr);

// The text after a drive's entry in the source list: the image's file name
// for a drive added for a file, else empty.
std::wstring ImageEntrySuffix(wchar_t letter);
