#pragma once
// Volumes on partitions of the machine's disks answer from the partition
// itself while their file system is not mounted: the size from the
// partition table, the file system and its label from the volume's own
// superblock (libblkid). Installed into the volume service (volumes.h) as
// its partition reader; the disk layer installs it when it is linked, and
// programs call InstallPartitionVolumes() to be sure of it.

#include "platform/machine/volumes.h"

namespace platform::disks {

// The reader volumes.h asks: false with 1005 when the partition does not
// exist on the disk's table or holds no file system we know.
bool ReadPartitionVolume(int disk, int partition, PartitionVolume* volume);

void InstallPartitionVolumes();

}  // namespace platform::disks
