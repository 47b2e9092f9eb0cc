#pragma once
// Where the image may go, and whether what it was made of held still: the
// target must lie outside the source tree (it would overwrite a source file
// or image itself), and every source file must be as it was when the tree
// was read once its data has been written.

#include <string>

#include "tools/oscdimg/sourcetree.h"

namespace oscdimg {

// False with a message when the target (a host path; it need not exist)
// names the source folder, a file or folder inside it, or a file of it by a
// link, compared as the host resolves them.
bool TargetOutsideSource(const std::string& sourceFolder, const std::string& target, std::string* error);

// False with a message naming the first file of the tree whose size or
// modification time differs now from what the tree recorded (it shrank,
// grew or was rewritten while the image was made).
bool SourceFilesUnchanged(const SourceTree& tree, std::string* error);

}  // namespace oscdimg
