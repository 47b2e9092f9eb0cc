#pragma once
// The record of mounted images, kept in "dism-mounts.txt" in the machine's
// prefix folder so that every process of the machine sees the same mounts.
// Each change is a locked read-modify-write of the file. Beside each mount a
// manifest "dism-mount-<id>.committed" lists the files of the mount folder
// that are already in the image (path, size, modification time).

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/dism/dismapi.h"

namespace platform::dism {

struct MountRecord {
  unsigned id = 0;
  std::wstring mountPath;  // system paths as given to the mount call
  std::wstring wimPath;
  std::string mountHost;   // their host paths
  std::string wimHost;
  UINT index = 0;
  bool readOnly = false;
  std::uint64_t wimSize = 0;  // the WIM as it was after mount or the last commit
  std::int64_t wimTime = 0;   // modification time, nanoseconds
};

// The host path in one spelling (absolute, no '.', '..' or trailing '/'),
// so that records compare equal however a path was written.
std::string CanonicalHost(const std::string& host);

// Size and modification time of a host file; false when it cannot be seen.
bool FileStamp(const std::string& host, std::uint64_t& size, std::int64_t& time);

// Ok, or Invalid when the mount folder or the WIM is gone or has changed.
DismMountStatus StatusOf(const MountRecord& record);

// True when a recorded mount folder is one clean-up may empty: a real
// folder (no link on the way below C:) inside C:\ProgramData, named as
// mount folders are named (1 to 6 decimal digits). The record lives in the
// prefix; whatever it names elsewhere is left alone.
bool IsOwnMountFolder(const std::string& host);

struct CommittedFile {
  std::uint64_t size = 0;
  std::int64_t time = 0;
};
using Manifest = std::map<std::string, CommittedFile>;  // key: path relative to the mount folder

class MountRegistry {
 public:
  // All records; empty when there is no file.
  static std::vector<MountRecord> Load();
  // Runs change on the records under the file lock and writes them back.
  // False when the file cannot be written.
  [[nodiscard]] static bool Update(const std::function<void(std::vector<MountRecord>&)>& change);

  static Manifest LoadManifest(unsigned id);
  [[nodiscard]] static bool SaveManifest(unsigned id, const Manifest& manifest);
  // Removes the manifest and the mount's scratch folder.
  static void DropManifest(unsigned id);
  // A folder of the mount's own outside its mount folder, for files that
  // must not be committed (the registry hive before it is changed).
  static std::string ScratchFolder(unsigned id);
};

}  // namespace platform::dism
