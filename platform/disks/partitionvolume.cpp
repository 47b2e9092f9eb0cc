#include "platform/disks/partitionvolume.h"

#include <cstdint>

#include "platform/disks/ntnames.h"
#include "platform/lasterror.h"

namespace platform::disks {

namespace {

// Linked in, the reader is in place before main runs.
const bool g_installed = (InstallPartitionVolumes(), true);

}  // namespace

bool ReadPartitionVolume(int disk, int partition, PartitionVolume* volume) {
  std::int64_t offset = 0, length = 0;
  auto handle = VolumeHandle::Open(VolumeNameOf(disk, partition));
  if (!handle || !PartitionRange(disk, partition, &offset, &length) || length <= 0) {
    SetLastError(ERROR_UNRECOGNIZED_VOLUME);
    return false;
  }
  PartitionVolume answer;
  if (!handle->GetVolumeInformation(&answer.label, &answer.fileSystem)) return false;
  answer.sizeBytes = static_cast<std::uint64_t>(length);
  if (volume) *volume = std::move(answer);
  return true;
}

void InstallPartitionVolumes() {
  (void)g_installed;
  SetPartitionVolumeReader(&ReadPartitionVolume);
}

}  // namespace platform::disks
