#include "verify/stickmount.h"

#include "platform/disks/volumemount.h"

namespace verify {

namespace pd = platform::disks;

namespace {

// Writes the mount's folder, loop device and owner into the letter's entry.
void Record(const pd::VolumeEntry& mounted) {
  pd::UpdateVolumeRecord([&](std::vector<pd::VolumeEntry>& entries) {
    for (pd::VolumeEntry& e : entries)
      if (e.letter == mounted.letter) e = mounted;
  });
}

}  // namespace

StickMount::StickMount(wchar_t letter) {
  for (const pd::VolumeEntry& entry : pd::ReadVolumeRecord()) {
    if (entry.letter != letter) continue;
    if (!entry.folder.empty()) {
      folder_ = entry.folder;  // still mounted: read it where it is
      loop_ = entry.loop;
      return;
    }
    entry_ = entry;
    entry_.owner = pd::ThisProcessOwner();
    if (!pd::MountPartition(entry.disk, entry.partition, entry.fileSystem, &entry_.folder, &entry_.loop, &error_))
      return;
    ours_ = true;
    Record(entry_);
    folder_ = entry_.folder;
    loop_ = entry_.loop;
    return;
  }
  error_ = "no recorded volume for the drive";
}

StickMount::~StickMount() {
  if (!ours_) return;
  std::string ignored;
  bool gone = false;
  // What the caller needs is whether the volume went: gone says so.
  static_cast<void>(pd::UnmountVolume(entry_, &ignored, &gone));
  if (!gone) return;  // busy: the record keeps it for the release at exit
  pd::VolumeEntry released = entry_;
  released.folder.clear();
  released.loop.clear();
  Record(released);
}

}  // namespace verify
