#pragma once
// Name lookup without regard to case in host folders, for the path
// resolver. Each thread remembers the last folder it listed, valid while the
// folder's inode and modification time stay the same; the layer's own
// creations and removals update that memory in place, so filling a folder
// with many new files does not list it again for every one of them.
// Internal to the platform layer.

#include <string>

namespace platform::dirnames {

enum class Lookup { kFound, kAbsent, kNoFolder };

// Starts the resolution of a path: what an earlier lookup checked no longer
// counts as checked.
void BeginLookup();

// The entry of dir whose name equals name without regard to case: found
// (its name on disk in found), absent, or dir is no folder that can be read.
Lookup FindNoCase(const std::string& dir, const std::string& name, std::string& found);

// Brackets a change this thread makes to a folder: made before the change,
// it notes whether the memory of the folder is current; told afterwards what
// happened, it keeps the memory up to date, or forgets it when someone else
// changed the folder in between.
class Change {
 public:
  explicit Change(const std::string& path);
  void Added();
  void Removed();

 private:
  void Done(bool added);
  std::string path_;
  bool current_ = false;
};

}  // namespace platform::dirnames
