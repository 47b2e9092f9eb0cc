#include "platform/disks/volumemount.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/number.h"
#include "platform/lasterror.h"
#include "platform/disks/diskuse.h"
#include "platform/disks/hostcommand.h"
#include "platform/disks/loopdevice.h"
#include "platform/disks/ntnames.h"
#include "platform/disks/recordcheck.h"
#include "platform/machine/machine.h"
#include "platform/machine/mountinfo.h"
#include "platform/text.h"

namespace platform::disks {

namespace fs = std::filesystem;

namespace {

constexpr auto kPoll = std::chrono::milliseconds(50);
constexpr int kMountWaitPolls = 200;   // 10 s for the daemon to show the mount
constexpr int kDaemonWaitPolls = 1200;  // 60 s for it to write everything out

bool IsMounted(const std::string& folder) {
  for (const auto& m : ReadMountTable())
    if (m.mountPoint == folder) return true;
  return false;
}

// The file-system daemon serving a mount folder (0 when none is found).
int DaemonOf(const std::string& folder) {
  std::error_code ec;
  for (const auto& p : fs::directory_iterator("/proc", ec)) {
    std::string name = p.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(p.path() / "cmdline", std::ios::binary);
    std::string cmd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (cmd.find(folder) == std::string::npos) continue;
    if (cmd.rfind("fusefat", 0) == 0 || cmd.find("/fusefat") != std::string::npos || cmd.find("ntfs-3g") != std::string::npos)
      return platform::ParseNumber<int>(name).value_or(0);
  }
  return 0;
}

bool WaitGone(int pid) {
  for (int i = 0; pid > 0 && i < kDaemonWaitPolls; ++i) {
    if (!fs::exists("/proc/" + std::to_string(pid))) return true;
    std::this_thread::sleep_for(kPoll);
  }
  return pid <= 0;
}

// fsync of a device or file by path; false with a reason naming it.
bool FlushPath(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + " cannot be opened to flush it: " + std::strerror(errno);
    return false;
  }
  bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  if (!ok) *error = "the data did not reach " + path + ": " + std::strerror(errno);
  ::close(fd);
  return ok;
}

// Writes a mounted volume's data out: a file system that lost writes says
// so here (syncfs reports what the medium refused since the mount).
bool SyncVolume(const std::string& folder, std::string* error) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;  // nothing there to write out
  bool ok = ::syncfs(fd) == 0;
  if (!ok) *error = "the volume at " + folder + " could not be written out: " + std::strerror(errno);
  ::close(fd);
  return ok;
}

bool WriteLabel(const VolumeEntry& e, std::string* error) {
  if (e.label.empty() || e.loop.empty()) return true;
  std::string label = AnsiFromWide(e.label);
  CommandResult r;
  if (e.fileSystem == L"NTFS")
    r = RunCommand({"ntfslabel", e.loop, label});
  else
    // mtools' mlabel, not fatlabel: after the user-space FAT driver has
    // deleted entries in the root folder, fatlabel writes the boot sector's
    // label but leaves the root folder without its label entry, which
    // fsck.vfat then reports as damage. mlabel writes both.
    r = RunCommand({"mlabel", "-i", e.loop, "::" + label});
  if (r.exitCode != 0) *error = "the volume label could not be written: " + r.output;
  return r.exitCode == 0;
}

// Mounts the loop device with the kernel's own driver; false when the
// kernel has none for the file system or refuses the volume.
bool KernelMount(const std::wstring& fileSystem, const std::string& loop, const std::string& folder) {
  std::string driver = KernelDriverFor(fileSystem);
  if (driver.empty()) return false;
  // Long names in UTF-8 and their case kept, as the system shows them.
  const char* options = driver == "vfat" ? "utf8,shortname=mixed" : "";
  return ::mount(loop.c_str(), folder.c_str(), driver.c_str(), MS_NOATIME, options) == 0;
}

}  // namespace

std::string KernelDriverFor(const std::wstring& fileSystem, const std::string& table) {
  const std::string driver = fileSystem == L"NTFS" ? "ntfs3" : fileSystem == L"FAT32" ? "vfat" : "";
  if (driver.empty()) return {};
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    // "nodev\tsysfs" or "\tvfat": the name is the last field.
    std::size_t tab = line.find_last_of(" \t");
    std::string name = tab == std::string::npos ? line : line.substr(tab + 1);
    if (name == driver) return driver;
  }
  return {};
}

std::string KernelDriverFor(const std::wstring& fileSystem) {
  auto table = [] {
    std::ifstream in("/proc/filesystems");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  std::string driver = KernelDriverFor(fileSystem, table());
  if (!driver.empty()) return driver;
  // A module not loaded yet is listed once the kernel has loaded it.
  const std::string module = fileSystem == L"NTFS" ? "ntfs3" : "vfat";
  if (fileSystem != L"NTFS" && fileSystem != L"FAT32") return {};
  RunCommand({"modprobe", "-q", module});
  return KernelDriverFor(fileSystem, table());
}

std::uint64_t Fat32FileLimit() {
  static const std::uint64_t limit = KernelDriverFor(L"FAT32").empty() ? kFuseFat32FileLimit : kFat32FileLimit;
  return limit;
}

bool MountPartition(int disk, int partition, const std::wstring& fileSystem, std::string* folder, std::string* loop,
                    std::string* error) {
  std::int64_t offset = 0, length = 0;
  auto decl = CurrentMachine().Disk(disk);
  if (!decl || !PartitionRange(disk, partition, &offset, &length)) {
    *error = "The partition cannot be found on the disk.";
    return false;
  }
  *folder = MountFolderFor(disk, partition);
  std::error_code ec;
  fs::create_directories(*folder, ec);
  // The loop device is set up from a descriptor: the disk's own when its
  // image was opened as the invoking user, else one opened here.
  const int held = decl->held ? decl->held->get() : -1;
  const int own = held >= 0 ? -1 : ::open(decl->Backing().c_str(), O_RDWR | O_CLOEXEC);
  std::string why = own < 0 && held < 0 ? decl->Backing() + ": " + std::strerror(errno) : std::string();
  const std::optional<std::string> attached =
      why.empty() ? AttachLoopDevice(held >= 0 ? held : own, offset, length, &why) : std::nullopt;
  if (own >= 0) ::close(own);
  if (!attached) {
    *error = "No loop device could be attached to the partition: " + why;
    return false;
  }
  *loop = *attached;
  if (KernelMount(fileSystem, *loop, *folder)) return true;
  CommandResult mount = fileSystem == L"NTFS" ? RunCommand({"ntfs-3g", *loop, *folder})
                                              : RunCommand({"fusefat", "-o", "rw+", *loop, *folder});
  for (int i = 0; mount.exitCode == 0 && i < kMountWaitPolls && !IsMounted(*folder); ++i)
    std::this_thread::sleep_for(kPoll);
  if (mount.exitCode != 0 || !IsMounted(*folder)) {
    RunCommand({"losetup", "--detach", *loop});
    *error = "The volume could not be mounted: " + mount.output;
    return false;
  }
  return true;
}

bool UnmountVolume(const VolumeEntry& e, std::string* error, bool* gone) {
  if (gone) *gone = false;
  // Only what we made: our own mount folder, and a loop device still
  // attached to this disk's backing at this partition's offset (its number
  // may have been given to someone else's file since the record was made).
  const bool ownLoop = LoopIsOurs(e);
  // Every step runs, so the stick is released whatever failed; the first
  // failure is the one reported.
  std::string first;
  auto note = [&](bool ok, const std::string& why) {
    if (!ok && first.empty()) first = why;
  };
  std::string why;
  if (FolderIsOurs(e) && IsMounted(e.folder)) {
    note(SyncVolume(e.folder, &why), why);
    int daemon = DaemonOf(e.folder);
    CommandResult r = RunCommand({"fusermount", "-u", e.folder});
    if (r.exitCode != 0 && ::umount2(e.folder.c_str(), 0) != 0) {
      *error = "The volume " + std::string(1, static_cast<char>(e.letter)) + ": is in use and cannot be dismounted.";
      return false;
    }
    // The daemon backgrounds itself, so its exit status cannot tell: what
    // it wrote is checked by the flushes below.
    note(WaitGone(daemon), "the file-system daemon of " + e.folder + " did not end");
  }
  if (ownLoop) {
    note(WriteLabel(e, &why), why);
    note(FlushPath(e.loop, &why), why);
    CommandResult r = RunCommand({"losetup", "--detach", e.loop});
    note(r.exitCode == 0, "the loop device " + e.loop + " could not be detached: " + r.output);
  }
  if (auto d = CurrentMachine().Disk(e.disk)) note(FlushPath(d->Backing(), &why), why);
  if (gone) *gone = true;
  if (!first.empty()) *error = first;
  return first.empty();
}

bool FlushDevicesBelow(const std::string& hostPath) {
  for (const VolumeEntry& e : ReadVolumeRecord()) {
    if (e.folder.empty() || !FolderIsOurs(e)) continue;
    if (hostPath != e.folder && hostPath.rfind(e.folder + "/", 0) != 0) continue;
    std::string why;
    // The loop device's flush writes its backing, the disk itself, out and
    // flushes it: one call for both. Without our loop device, the disk.
    bool ok = true;
    if (LoopIsOurs(e))
      ok = FlushPath(e.loop, &why);
    else if (auto d = CurrentMachine().Disk(e.disk))
      ok = FlushPath(d->Backing(), &why);
    if (!ok) SetLastError(ERROR_WRITE_FAULT);
    return ok;
  }
  return true;
}

bool UnmountDisk(int disk, std::string* error) {
  bool ok = true;
  UpdateVolumeRecord([&](std::vector<VolumeEntry>& entries) {
    for (auto& e : entries) {
      if (e.disk != disk || e.folder.empty()) continue;
      bool gone = false;
      std::string why;
      if (!UnmountVolume(e, &why, &gone) && ok) {
        ok = false;
        *error = why;
      }
      if (!gone) continue;
      e.folder.clear();
      e.loop.clear();
      e.label.clear();
    }
  });
  if (!ok) return false;
  // Volumes of the disk that the desktop mounted, matched by device number
  // through everything stacked on the disk.
  auto decl = CurrentMachine().Disk(disk);
  if (!decl) return true;
  DiskUse use = ExamineDisk(decl->Backing());
  if (!use.refusal.empty()) {
    *error = "The disk may not be changed: " + use.refusal + ".";
    return false;
  }
  for (const std::string& point : use.mounts) {
    if (::umount2(point.c_str(), 0) != 0) {
      *error = "The volume mounted at " + point + " is in use and cannot be dismounted.";
      return false;
    }
  }
  return true;
}

namespace {

// Releases the recorded mounts whose owner the predicate names; false with
// the first failure when one could not be released or lost data.
bool ReleaseWhere(const std::function<bool(const VolumeEntry&)>& owned, std::string* error) {
  bool ok = true;
  UpdateVolumeRecord([&](std::vector<VolumeEntry>& entries) {
    for (auto& e : entries) {
      if (e.folder.empty() || !owned(e)) continue;
      bool gone = false;
      std::string why;
      if (!UnmountVolume(e, &why, &gone) && ok) {
        ok = false;
        if (error) *error = why;
      }
      if (!gone) continue;
      e.folder.clear();
      e.loop.clear();
      e.label.clear();
    }
  });
  return ok;
}

}  // namespace

bool ReleaseVolumes(std::string* error) {
  const int self = static_cast<int>(::getpid());
  return ReleaseWhere([self](const VolumeEntry& e) { return e.owner == self; }, error);
}

void ReleaseOrphanedVolumes() {
  ReleaseWhere(
      [](const VolumeEntry& e) {
        return e.owner > 0 && ::kill(static_cast<pid_t>(e.owner), 0) != 0 && errno == ESRCH;
      },
      nullptr);
}

}  // namespace platform::disks
