#pragma once
// What a volume record may act on. The record lives in the prefix and is
// read by later processes, so a record that is stale (a loop number the
// kernel has since given to someone else) or damaged must not make us
// unmount, relabel or detach anything we did not make ourselves.

#include <string>

#include "platform/disks/volumerecord.h"

namespace platform::disks {

// The folder MountPartition mounts partition of disk at:
// "<prefix>/volumes/disk<N>-part<M>".
std::string MountFolderFor(int disk, int partition);

// True when the entry's folder is the one MountPartition made for its disk
// and partition.
bool FolderIsOurs(const VolumeEntry& entry);

// True when the entry's loop device ("/dev/loopN") is attached, per sysfs,
// to the backing file of its disk at the offset of its partition: the loop
// device we attached, not one its number was given to since.
bool LoopIsOurs(const VolumeEntry& entry);

}  // namespace platform::disks
