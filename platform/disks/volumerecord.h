#pragma once
// The record of volumes on physical disks that carry a letter, kept in the
// prefix folder ("volumes.ini") and shared by our disk tool (which writes it
// when it formats, assigns and mounts) and the program (which reads it for
// its drive namespace). A letter stays with its partition across unmount,
// format and remount. Access is serialised between processes by a lock on
// the file.
//
//   [volume E]
//   disk = 1
//   partition = 1
//   folder = /prefix/volumes/disk1-part1   ; where it is mounted, "" when not
//   loop = /dev/loop3                      ; the loop device under the mount
//   owner = 4711                           ; the process whose job made the mount
//   filesystem = FAT32
//   label = KX_DVD                         ; set by the program, written at release

#include <functional>
#include <string>
#include <vector>

namespace platform::disks {

struct VolumeEntry {
  wchar_t letter = 0;
  int disk = -1;
  int partition = -1;
  std::string folder;
  std::string loop;
  int owner = 0;
  std::wstring fileSystem;
  std::wstring label;
};

// The owner number of the mounts this process makes (its process id).
int ThisProcessOwner();

// Reads the record of the current machine's prefix (empty when none).
std::vector<VolumeEntry> ReadVolumeRecord();
// Read, change and write back under the lock; false when it cannot be written.
bool UpdateVolumeRecord(const std::function<void(std::vector<VolumeEntry>&)>& change);

// Puts the record's mounted volumes into the current machine: each letter
// maps onto its mount folder, with the disk's bus and removable flag. The
// mounts owned by this process are released when it exits.
void ApplyVolumeRecord();

}  // namespace platform::disks
