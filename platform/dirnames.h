#pragma once
// Name lookup without regard to case in host folders, for the path
// resolver. Each thread remembers the last folder it listed, valid while the
// folder's inode and modification time stay the same; the layer's own
// creations and removals update that memory in place, so filling a folder
// with many new files does not list it again for every one of them.
// Internal to the platform layer.

#include <string>

namespace platform::dirnames {

// The entry of dir whose name equals name without regard to case.
bool FindNoCase(const std::string& dir, const std::string& name, std::string& found);

// Tell the memory about an entry this thread has just made or removed.
void NoteAdded(const std::string& path);
void NoteRemoved(const std::string& path);

}  // namespace platform::dirnames
