#include "platform/disks/volumerecord.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>

#include "platform/number.h"
#include "platform/disks/partitionvolume.h"
#include "platform/disks/recordcheck.h"
#include "platform/disks/volumemount.h"
#include "platform/fs/copyfile.h"
#include "platform/fs/ini.h"
#include "platform/fs/readfile.h"
#include "platform/machine/machine.h"
#include "platform/machine/profileplaces.h"
#include "platform/text.h"
#include "platform/uniquefd.h"
#include "platform/machine/volumes.h"

namespace platform::disks {

namespace {

// Far above the 26 letters' worth of entries a record holds.
constexpr std::size_t kVolumeRecordLimit = 1u << 20;

std::string RecordPath() { return CurrentMachine().Prefix() + "/volumes.ini"; }

// An exclusive lock on a companion file for the read-change-write cycle.
class RecordLock {
 public:
  RecordLock() : fd_(OpenPrefixFile(RecordPath() + ".lock", O_RDWR | O_CREAT | O_NONBLOCK, 0600)) {
    if (fd_) ::flock(fd_.get(), LOCK_EX);
  }

 private:
  UniqueFd fd_;
};

std::vector<VolumeEntry> ReadUnlocked() {
  std::vector<VolumeEntry> out;
  // Through the bounded reader: a pipe or a device at that name must not
  // block or grow the process; a record that cannot be read is none.
  std::string bytes;
  if (ReadHostFile(RecordPath(), bytes, kVolumeRecordLimit) != ERROR_SUCCESS) return out;
  IniDocument doc = IniDocument::Parse(bytes);
  for (const auto& section : doc.Sections()) {
    std::wstring name = UpperCase(section.name);
    if (name.rfind(L"VOLUME ", 0) != 0 || name.size() != 8 || name[7] < L'A' || name[7] > L'Z') continue;
    VolumeEntry e;
    e.letter = name[7];
    for (const auto& kv : section.entries) {
      std::wstring key = UpperCase(kv.key);
      std::string v = AnsiFromWide(kv.value);
      // A damaged number leaves the field unset.
      if (key == L"DISK") e.disk = platform::ParseNumber<int>(v).value_or(e.disk);
      else if (key == L"PARTITION") e.partition = platform::ParseNumber<int>(v).value_or(e.partition);
      else if (key == L"FOLDER") e.folder = v;
      else if (key == L"LOOP") e.loop = v;
      else if (key == L"OWNER") e.owner = platform::ParseNumber<int>(v).value_or(e.owner);
      else if (key == L"FILESYSTEM") e.fileSystem = kv.value;
      else if (key == L"LABEL") e.label = kv.value;
    }
    if (e.disk >= 0 && e.partition > 0) out.push_back(e);
  }
  return out;
}

bool WriteUnlocked(const std::vector<VolumeEntry>& entries) {
  std::ostringstream s;
  for (const auto& e : entries) {
    s << "[volume " << static_cast<char>(e.letter) << "]\ndisk = " << e.disk << "\npartition = " << e.partition
      << "\nfolder = " << e.folder << "\nloop = " << e.loop << "\nowner = " << e.owner
      << "\nfilesystem = " << AnsiFromWide(e.fileSystem) << "\nlabel = " << AnsiFromWide(e.label) << "\n\n";
  }
  return ReplacePrefixFile(RecordPath(), s.str());
}

// The label the program sets on a recorded volume is written to the volume
// itself when the volume is released (a mounted FAT or NTFS volume cannot
// take it while its file-system driver holds it).
bool RecordLabel(const DriveDecl& drive, std::wstring_view label) {
  bool found = false;
  UpdateVolumeRecord([&](std::vector<VolumeEntry>& entries) {
    for (auto& e : entries)
      if (e.letter == drive.letter) {
        e.label = std::wstring(label);
        found = true;
      }
  });
  return found;
}

bool RecordMayName(const VolumeEntry& e, const std::optional<DriveDecl>& own) {
  if (e.letter == L'C' || !FolderIsOurs(e)) return false;
  return !own || own->diskNumber == e.disk;
}

struct ReleaseAtExit {
  ~ReleaseAtExit() { static_cast<void>(ReleaseVolumes()); }  // at exit nobody is left to tell
};

}  // namespace

int ThisProcessOwner() { return static_cast<int>(::getpid()); }

std::vector<VolumeEntry> ReadVolumeRecord() {
  RecordLock lock;
  return ReadUnlocked();
}

bool UpdateVolumeRecord(const std::function<void(std::vector<VolumeEntry>&)>& change) {
  RecordLock lock;
  std::vector<VolumeEntry> entries = ReadUnlocked();
  change(entries);
  return WriteUnlocked(entries);
}

void ApplyVolumeRecord() {
  static ReleaseAtExit releaseAtExit;
  SetVolumeLabelWriter(&RecordLabel);
  platform::SetVolumeDeviceFlusher(&FlushDevicesBelow);
  InstallPartitionVolumes();
  Machine& machine = CurrentMachine();
  // What each letter was before the record mapped it, so a letter the record
  // gives up (a volume unmounted, or moved to another letter) shows what it
  // showed before, or nothing.
  static std::mutex mutex;
  static const Machine* applied = nullptr;
  static std::map<wchar_t, std::optional<DriveDecl>> before;
  std::lock_guard lock(mutex);
  if (applied != &machine) {
    applied = &machine;
    before.clear();
  }
  std::map<wchar_t, const VolumeEntry*> mounted;
  std::vector<VolumeEntry> entries = ReadVolumeRecord();
  for (const auto& e : entries) {
    if (e.folder.empty() || !machine.Disk(e.disk) || mounted.count(e.letter)) continue;
    // A record names only letters of the disk it describes: never C:, and
    // never a letter the machine gives to anything else (the declared and
    // discovered drives), so a damaged or planted record cannot move the
    // system drive or another drive for the rest of a job.
    const std::optional<DriveDecl> own = before.count(e.letter) ? before[e.letter] : machine.Drive(e.letter);
    if (!RecordMayName(e, own)) continue;
    mounted[e.letter] = &e;
  }
  for (auto it = before.begin(); it != before.end();) {
    if (mounted.count(it->first)) {
      ++it;
      continue;
    }
    if (it->second) machine.AddDrive(*it->second);
    else machine.RemoveDrive(it->first);
    it = before.erase(it);
  }
  for (const auto& [letter, entry] : mounted) {
    const VolumeEntry& e = *entry;
    auto disk = machine.Disk(e.disk);
    if (!before.count(e.letter)) before[e.letter] = machine.Drive(e.letter);
    DriveDecl d = machine.Drive(e.letter).value_or(DriveDecl{});
    d.letter = e.letter;
    d.hostFolder = e.folder;
    d.hostDevice = e.loop;
    d.hostFileSystem = e.fileSystem == L"NTFS" ? "fuseblk" : "vfat";
    d.fileSystem = e.fileSystem;
    d.label = e.label;
    d.diskNumber = e.disk;
    d.partitionNumber = e.partition;
    d.busType = disk->busType;
    d.driveType = disk->removable ? DRIVE_REMOVABLE : DRIVE_FIXED;
    d.ready = true;
    d.freeBytes.reset();
    d.totalBytes.reset();
    machine.AddDrive(d);
  }
}

}  // namespace platform::disks
