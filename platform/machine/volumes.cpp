#include "platform/machine/volumes.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <atomic>
#include <optional>

#include "platform/lasterror.h"
#include "platform/machine/imagedrive.h"
#include "platform/machine/machine.h"
#include "platform/fs/paths.h"
#include "platform/text.h"

namespace platform {

namespace {

std::atomic<VolumeLabelWriter> g_labelWriter{nullptr};
std::atomic<PartitionVolumeReader> g_partitionReader{nullptr};

// A folder is a mount point when it lies on another device than its parent
// (or is the host root).
bool IsMountPoint(const std::string& folder) {
  struct stat self, parent;
  if (::stat(folder.c_str(), &self) != 0 || ::stat((folder + "/..").c_str(), &parent) != 0) return false;
  return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

// What the partition behind a declared drive says of itself: nullopt when the
// drive is no partition of a declared disk or the partition reader is not
// installed (the host folder answers); an answer with ok == false when the
// partition cannot answer (last error set).
struct PartitionAnswer {
  bool ok = false;
  bool mounted = false;
  PartitionVolume volume;
};
std::optional<PartitionAnswer> AskPartition(const DriveDecl& d) {
  PartitionVolumeReader reader = g_partitionReader.load();
  if (!reader || d.diskNumber < 0 || d.partitionNumber < 1 || !CurrentMachine().Disk(d.diskNumber)) return std::nullopt;
  PartitionAnswer answer;
  answer.mounted = IsMountPoint(d.hostFolder);
  answer.ok = reader(d.diskNumber, d.partitionNumber, &answer.volume);
  if (!answer.ok) SetLastError(ERROR_UNRECOGNIZED_VOLUME);
  return answer;
}

// The drive a root names: "X:" or "X:\" only.
std::optional<DriveDecl> DriveOfRoot(std::wstring_view root, bool allowLongerPath) {
  wchar_t letter = DriveLetterOf(root);
  std::wstring_view r = root;
  if (r.size() >= 4 && (r[0] == L'\\') && (r[1] == L'\\')) r.remove_prefix(4);
  if (!letter || (!allowLongerPath && r.size() > 3) || (r.size() == 3 && r[2] != L'\\' && r[2] != L'/')) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return std::nullopt;
  }
  auto d = CurrentMachine().Drive(letter);
  if (!d) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  if (!d->ready) {
    SetLastError(ERROR_NOT_READY);
    return std::nullopt;
  }
  return d;
}

}  // namespace

DWORD GetLogicalDrives() {
  DWORD mask = 0;
  for (const auto& d : CurrentMachine().Drives()) mask |= 1u << (d.letter - L'A');
  return mask;
}

UINT GetDriveType(std::wstring_view root) {
  wchar_t letter = DriveLetterOf(root);
  if (!letter || root.size() > 3 || (root.size() == 3 && root[2] != L'\\' && root[2] != L'/')) return DRIVE_NO_ROOT_DIR;
  auto d = CurrentMachine().Drive(letter);
  return d ? d->driveType : DRIVE_NO_ROOT_DIR;
}

bool GetVolumeInformation(std::wstring_view root, std::wstring* label, std::wstring* fileSystem) {
  auto d = DriveOfRoot(root, false);
  if (!d) return false;
  if (!d->image.empty()) return ImageVolumeInformation(*d, label, fileSystem);
  if (auto partition = AskPartition(*d); partition && !partition->mounted) {
    if (!partition->ok) return false;
    if (label) *label = partition->volume.label;
    if (fileSystem) *fileSystem = partition->volume.fileSystem;
    return true;
  }
  struct statvfs sv;
  if (::statvfs(d->hostFolder.c_str(), &sv) != 0) {
    SetLastError(ErrorFromErrno(errno) == ERROR_FILE_NOT_FOUND ? ERROR_NOT_READY : ErrorFromErrno(errno));
    return false;
  }
  if (label) *label = d->label;
  if (fileSystem) *fileSystem = d->fileSystem;
  return true;
}

bool GetDiskFreeSpaceEx(std::wstring_view path, std::uint64_t* freeToCaller, std::uint64_t* total,
                        std::uint64_t* totalFree) {
  auto d = DriveOfRoot(path, true);
  if (!d) return false;
  if (!d->image.empty()) return ImageDiskSpace(*d, freeToCaller, total, totalFree);
  std::uint64_t avail = 0, free = 0, size = 0;
  auto partition = AskPartition(*d);
  if (partition && !partition->ok) return false;
  if (partition && !partition->mounted) {
    avail = free = size = partition->volume.sizeBytes;
  } else {
    struct statvfs sv;
    if (::statvfs(d->hostFolder.c_str(), &sv) != 0) {
      SetLastError(ErrorFromErrno(errno) == ERROR_FILE_NOT_FOUND ? ERROR_NOT_READY : ErrorFromErrno(errno));
      return false;
    }
    avail = static_cast<std::uint64_t>(sv.f_bavail) * sv.f_frsize;
    free = static_cast<std::uint64_t>(sv.f_bfree) * sv.f_frsize;
    size = static_cast<std::uint64_t>(sv.f_blocks) * sv.f_frsize;
    if (partition) {
      // The partition is the volume's size; its file system holds a little less.
      size = partition->volume.sizeBytes;
      avail = std::min(avail, size);
      free = std::min(free, size);
    }
  }
  if (d->freeBytes) avail = free = *d->freeBytes;
  if (d->totalBytes) size = *d->totalBytes;
  if (freeToCaller) *freeToCaller = avail;
  if (total) *total = size;
  if (totalFree) *totalFree = free;
  return true;
}

bool SetVolumeLabel(std::wstring_view root, std::wstring_view label) {
  auto d = DriveOfRoot(root, false);
  if (!d) return false;
  if (d->driveType == DRIVE_CDROM || d->driveType == DRIVE_REMOTE) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  CurrentMachine().SetLabel(d->letter, std::wstring(label));
  if (VolumeLabelWriter writer = g_labelWriter.load(); writer && d->partitionNumber > 0) writer(*d, label);
  return true;
}

void SetVolumeLabelWriter(VolumeLabelWriter writer) { g_labelWriter.store(writer); }

void SetPartitionVolumeReader(PartitionVolumeReader reader) { g_partitionReader.store(reader); }

}  // namespace platform
