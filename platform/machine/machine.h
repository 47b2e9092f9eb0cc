#pragma once
// The machine the system runs on: its drive letters and the disks behind them.
//
// Each letter maps onto a host folder. The machine is either declared by a
// profile (an INI file, "machine.ini" in the prefix folder, or any file a test
// names) or discovered from the host: optical and USB volumes from
// /proc/self/mountinfo and /sys/block, C: as the system drive inside the
// prefix folder, Z: as the host root. The prefix folder is named by the
// environment variable KESTRUNEX_PREFIX (default: ~/.kestrunex), the way an
// emulation layer's prefix works; the system above this layer reads no
// environment variables.
//
// Profile format:
//   [drive E]              ; one section per letter
//   folder = media/dvd     ; host folder, relative to the profile's folder
//   type = cdrom           ; removable | fixed | remote | cdrom | ramdisk | 2..6
//   bus = usb              ; usb | sata | ata | scsi | nvme | sd | virtual | number
//   label = GRMCULFRER_EN_DVD
//   filesystem = CDFS      ; as the system names it: NTFS, FAT32, exFAT, CDFS, UDF
//   ready = yes            ; no: no medium, volume queries fail with error 21
//   free_mb = 4500         ; optional overrides of the host's numbers
//   total_mb = 7600
//   image = win7.iso       ; instead of folder: a disc image read as the
//                          ; drive's medium (an optical drive; label, file
//                          ; system and size are the image's own)
//   disk = 1               ; physical disk number behind the volume
//   partition = 1          ; its partition number on that disk (1-based)
//   [disk 1]
//   size_mb = 7680         ; the disk's size; geometry is derived from it
//   bus = usb
//   device = /dev/sdb      ; optional host block device
//   image = disks/usb.img  ; or a disk-image file (a virtual disk); its size
//                          ; is the disk's size unless size_mb says otherwise
//   removable = yes        ; the disk reports removable media
//   sector_size = 4096     ; an image's logical sector size in bytes: 512
//                          ; (default) or 4096; a block device reports its own

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/invoker/invoker.h"
#include "platform/types.h"

namespace platform {

struct DriveDecl {
  wchar_t letter = 0;          // 'A'..'Z'
  std::string hostFolder;      // absolute host path of the drive's root
  UINT driveType = DRIVE_FIXED;
  int busType = BusTypeUnknown;
  std::wstring label;
  std::wstring fileSystem;     // in the system's vocabulary ("NTFS", "CDFS", ...)
  std::string hostFileSystem;  // the host's own name ("ext4", "iso9660", ...), for diagnostics
  bool ready = true;
  std::optional<std::uint64_t> freeBytes;
  std::optional<std::uint64_t> totalBytes;
  int diskNumber = -1;
  int partitionNumber = -1;    // on diskNumber, 1-based; -1 when not declared
  std::string hostDevice;      // block device of the volume, when known
  std::string image;           // a disc image read as the medium (absolute host
                               // path); the drive then has no host folder
  bool invokersImage = false;  // the image is opened as the invoking user (it
                               // came from them: platform/invoker)
  bool givenImage = false;     // added for a file a user named (AddImageDrive)
};

// The logical sector size of a disk that declares none, and the other size
// a disk image may declare (large disks in USB enclosures).
inline constexpr std::uint32_t kDefaultSectorSize = 512;
inline constexpr std::uint32_t kLargeSectorSize = 4096;

struct DiskDecl {
  int number = -1;
  std::uint64_t sizeBytes = 0;
  int busType = BusTypeUnknown;
  std::string hostDevice;
  std::string image;           // a virtual disk's image file (absolute host path)
  std::string model;           // vendor and model as the device names itself ("" = unknown)
  bool removable = false;
  // Bytes per logical sector as declared (an image's sector_size); a block
  // device's own size is asked of the device (diskbacking.h).
  std::uint32_t sectorSize = kDefaultSectorSize;
  // An image of the invoking user's profile, opened as that user when the
  // profile was read and held: heldPath is its descriptor's own path, so
  // every later open (here or by a tool) reaches that very file.
  std::shared_ptr<const invoker::Fd> held;
  std::string heldPath;
  // The host file that holds the disk's bytes: the image, else the device.
  const std::string& Backing() const { return !heldPath.empty() ? heldPath : image.empty() ? hostDevice : image; }
  // The geometry the system reports: whole cylinders of 255 heads of 63
  // sectors of sectorSize bytes each.
  std::uint64_t Cylinders(std::uint32_t bytesPerSector) const {
    return sizeBytes / (255ull * 63ull * bytesPerSector);
  }
};

// A malformed or unreadable profile: names the file and the line
// ("file:line: reason", or "file: reason" when the file cannot be read).
class ProfileError : public std::runtime_error {
 public:
  ProfileError(std::string file, int line, const std::string& what);
  const std::string& file() const { return file_; }
  int line() const { return line_; }

 private:
  std::string file_;
  int line_;
};

// A prefix folder this process must not trust (see prefixtrust.h), or none
// at all (no home folder): names the folder and the reason.
class PrefixError : public ProfileError {
 public:
  PrefixError(const std::string& prefix, const std::string& reason) : ProfileError(prefix, 0, reason) {}
};

class Machine {
 public:
  // Reads a profile; throws ProfileError for a malformed one, and for one
  // that cannot be read (a folder, a device, too large: see readfile.h).
  static Machine FromProfile(const std::string& profilePath, const std::string& prefix);
  // The same for a profile's bytes already read; profilePath names it in
  // errors and anchors its relative folders.
  static Machine FromProfileText(std::string_view bytes, const std::string& profilePath, const std::string& prefix);
  // Looks at the host: the prefix's system drive, Z:, optical and USB volumes.
  // Throws PrefixError for a prefix that is missing or not to be trusted;
  // the machine's prefix is the folder with its links resolved.
  static Machine Discover(const std::string& prefix);
  // The profile in the prefix folder when there is one, else discovery; the
  // prefix is checked as by Discover.
  static Machine ForPrefix(const std::string& prefix);

  const std::string& Prefix() const { return prefix_; }
  const std::string& ProfilePath() const { return profile_; }
  // The prefix belongs to the user root runs for (sudo, pkexec): what it
  // holds and what its profile names are opened as that user.
  bool InvokersPrefix() const { return invokers_; }
  // Host folder of C:'s Windows tree and of the common application data.
  std::string SystemDriveFolder() const;
  // A profile's own driver library ([drivers] library = folder, relative to
  // the profile): its absolute host path, or empty for the system's.
  const std::string& DriverLibrary() const { return driverLibrary_; }
  // [drivers] samples = yes: the sample packages of a sample machine count
  // as drivers of a run.
  bool SampleDrivers() const { return sampleDrivers_; }
  // [drivers] roots = file (relative to the profile): more accepted roots
  // of driver signatures (a test root); its absolute host path, or empty.
  const std::string& DriverRoots() const { return driverRoots_; }
  // [drivers] pci = folder (relative to the profile): the PCI device tree
  // whose controllers the machine's coverage lines name (a test machine's
  // own); the host's /sys/bus/pci/devices otherwise.
  const std::string& PciDevices() const { return pciDevices_; }

  std::optional<DriveDecl> Drive(wchar_t letter) const;
  std::vector<DriveDecl> Drives() const;
  std::optional<DiskDecl> Disk(int number) const;
  std::vector<DiskDecl> Disks() const;

  // Label changes stay with the machine for the life of the process.
  void SetLabel(wchar_t letter, const std::wstring& label);

  void AddDrive(const DriveDecl& drive);
  void RemoveDrive(wchar_t letter);
  void AddDisk(const DiskDecl& disk);

  Machine() = default;
  Machine(const Machine& other);
  Machine& operator=(const Machine& other);

 private:
  // C: inside the prefix (made when missing) and Z: on the host root.
  static DriveDecl SystemDrive(const std::string& prefix);
  static DriveDecl HostRootDrive();

  mutable std::mutex mutex_;
  std::string prefix_;
  std::string profile_;
  bool invokers_ = false;
  std::map<wchar_t, DriveDecl> drives_;
  std::map<int, DiskDecl> disks_;
  std::string driverLibrary_;
  bool sampleDrivers_ = false;
  std::string driverRoots_;
  std::string pciDevices_ = "/sys/bus/pci/devices";
};

// The prefix folder: $KESTRUNEX_PREFIX, else ~/.kestrunex (the home folder
// as HomeFolder() in prefixtrust.h finds it). Throws PrefixError when there
// is no home folder.
std::string DefaultPrefix();
// The default prefix ready for use: ~/.kestrunex is made (mode 0700) when
// missing; throws PrefixError for a prefix that is missing or not to be
// trusted. Front ends call it first to report the reason themselves.
std::string CheckedDefaultPrefix();

// The machine of this process, made on first use from the default prefix.
// A default prefix that is not to be trusted ends the process (exit code 1)
// with the reason on standard error: nothing may run on such a machine.
Machine& CurrentMachine();

// Puts another machine in place for the lifetime of the object (tests and the
// diagnostic command). Install before any thread that uses it starts.
class ScopedMachine {
 public:
  explicit ScopedMachine(Machine machine);
  ~ScopedMachine();
  ScopedMachine(const ScopedMachine&) = delete;
  ScopedMachine& operator=(const ScopedMachine&) = delete;
  Machine& machine() { return *current_; }

 private:
  std::unique_ptr<Machine> current_;
  Machine* previous_;
};

// Names of the system's file systems for the host's file-system names.
std::wstring SystemFileSystemName(const std::string& hostFs, std::uint64_t totalBytes);

}  // namespace platform
