#pragma once
// What a path given to `drivers add` is, read from its first bytes: a folder
// tree, an archive libarchive opens (ZIP, CAB, 7z, and self-extracting
// programs that carry one), an MSI package, or an installer whose contents
// only its own unpacker reads (Inno Setup, InstallShield).

#include <string>

namespace drivers {

enum class InputKind { Folder, Archive, Msi, InnoSetup, InstallShield, Unreadable };

// Never follows a symbolic link given as the path (Unreadable).
InputKind ClassifyInput(const std::string& hostPath);
// The same for an opened file or folder (read with pread, the offset kept).
InputKind ClassifyOpened(int fd);

}  // namespace drivers
