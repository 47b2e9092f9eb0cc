#pragma once
// Where a symbolic link leads, for walks over trees someone else wrote (a
// source medium): a link that leads out of the tree would hand whatever it
// names (a root-only file of the host) to whoever reads the copy.

#include <string_view>

namespace platform {

// True when the link at path, with every link on the way followed, names
// an existing file or folder inside root's tree (root itself included).
// False for a link that leads outside it, dangles or loops, and for paths
// that cannot be resolved through the drive namespace.
bool LinkStaysInside(std::wstring_view path, std::wstring_view root);

}  // namespace platform
