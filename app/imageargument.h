#pragma once
// The wizard started on a disc image (`kestrunex win7.iso`, or a file
// manager's "Open with"): the image becomes an optical drive of this process
// at the first free letter from D:, so the source page lists it beside the
// real drives. This is the wizard's one command-line argument.

#include <string>

// The image named on the command line, as an absolute host path: the last
// argument that names an existing regular file (links followed; Qt's own
// options name none); empty
// when there is none. Call before the current folder changes.
std::string ImageArgument(int argc, char** argv);

// Adds the drive; when the image cannot be read, says so in a message box
// naming the file (the wizard then starts with the machine's drives only).
void AddImageArgumentDrive(const std::string& image);
