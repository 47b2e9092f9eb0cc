#include "platform/machine/machine.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/fs/ini.h"
#include "platform/machine/diskbacking.h"
#include "platform/machine/imagedrive.h"
#include "platform/machine/mountinfo.h"
#include "platform/machine/prefixtrust.h"
#include "platform/machine/profileplaces.h"
#include "platform/fs/readfile.h"
#include "platform/text.h"
#include "platform/number.h"

namespace platform {

namespace fs = std::filesystem;

ProfileError::ProfileError(std::string file, int line, const std::string& what)
    : std::runtime_error(file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what),
      file_(std::move(file)),
      line_(line) {}

Machine::Machine(const Machine& other) {
  std::lock_guard lock(other.mutex_);
  prefix_ = other.prefix_;
  profile_ = other.profile_;
  invokers_ = other.invokers_;
  drives_ = other.drives_;
  disks_ = other.disks_;
  driverLibrary_ = other.driverLibrary_;
  sampleDrivers_ = other.sampleDrivers_;
  driverRoots_ = other.driverRoots_;
  pciDevices_ = other.pciDevices_;
}

Machine& Machine::operator=(const Machine& other) {
  if (this == &other) return *this;
  Machine copy(other);
  std::scoped_lock lock(mutex_);
  prefix_ = std::move(copy.prefix_);
  profile_ = std::move(copy.profile_);
  invokers_ = copy.invokers_;
  drives_ = std::move(copy.drives_);
  disks_ = std::move(copy.disks_);
  driverLibrary_ = std::move(copy.driverLibrary_);
  sampleDrivers_ = copy.sampleDrivers_;
  driverRoots_ = std::move(copy.driverRoots_);
  pciDevices_ = std::move(copy.pciDevices_);
  return *this;
}

std::string Machine::SystemDriveFolder() const {
  auto c = Drive(L'C');
  return c ? c->hostFolder : prefix_ + "/drive_c";
}

std::optional<DriveDecl> Machine::Drive(wchar_t letter) const {
  letter = FoldCase(letter);
  std::lock_guard lock(mutex_);
  auto it = drives_.find(letter);
  if (it == drives_.end()) return std::nullopt;
  return it->second;
}

std::vector<DriveDecl> Machine::Drives() const {
  std::lock_guard lock(mutex_);
  std::vector<DriveDecl> out;
  for (const auto& [letter, d] : drives_) out.push_back(d);
  return out;
}

std::optional<DiskDecl> Machine::Disk(int number) const {
  std::lock_guard lock(mutex_);
  auto it = disks_.find(number);
  if (it == disks_.end()) return std::nullopt;
  return it->second;
}

std::vector<DiskDecl> Machine::Disks() const {
  std::lock_guard lock(mutex_);
  std::vector<DiskDecl> out;
  for (const auto& [n, d] : disks_) out.push_back(d);
  return out;
}

void Machine::SetLabel(wchar_t letter, const std::wstring& label) {
  std::lock_guard lock(mutex_);
  auto it = drives_.find(FoldCase(letter));
  if (it != drives_.end()) it->second.label = label;
}

void Machine::AddDrive(const DriveDecl& drive) {
  std::lock_guard lock(mutex_);
  DriveDecl d = drive;
  d.letter = FoldCase(d.letter);
  drives_[d.letter] = d;
}

void Machine::RemoveDrive(wchar_t letter) {
  std::lock_guard lock(mutex_);
  drives_.erase(FoldCase(letter));
}

void Machine::AddDisk(const DiskDecl& disk) {
  std::lock_guard lock(mutex_);
  disks_[disk.number] = disk;
}

DriveDecl Machine::SystemDrive(const std::string& prefix) {
  DriveDecl c;
  c.letter = L'C';
  c.hostFolder = prefix + "/drive_c";
  c.driveType = DRIVE_FIXED;
  c.busType = BusTypeSata;
  c.fileSystem = L"NTFS";
  std::error_code ec;
  fs::create_directories(c.hostFolder, ec);  // the system drive is always there
  c.hostFileSystem = HostFileSystemOf(c.hostFolder);
  return c;
}

DriveDecl Machine::HostRootDrive() {
  DriveDecl z;
  z.letter = L'Z';
  z.hostFolder = "/";
  z.driveType = DRIVE_REMOTE;
  z.fileSystem = L"NTFS";
  z.hostFileSystem = HostFileSystemOf("/");
  return z;
}

std::wstring SystemFileSystemName(const std::string& hostFs, std::uint64_t totalBytes) {
  if (hostFs == "vfat" || hostFs == "msdos" || hostFs == "fat")
    return totalBytes > 0 && totalBytes < 32ull * 1048576ull ? L"FAT" : L"FAT32";
  if (hostFs == "exfat") return L"exFAT";
  if (hostFs == "iso9660") return L"CDFS";
  if (hostFs == "udf") return L"UDF";
  // ntfs, ntfs3, fuseblk (ntfs-3g) and the host's native file systems, which
  // hold files over 4 GiB and keep case, all present as NTFS.
  return L"NTFS";
}

namespace {

std::optional<UINT> ParseDriveType(const std::wstring& v) {
  std::wstring s = UpperCase(v);
  if (s == L"REMOVABLE" || s == L"2") return DRIVE_REMOVABLE;
  if (s == L"FIXED" || s == L"3") return DRIVE_FIXED;
  if (s == L"REMOTE" || s == L"4") return DRIVE_REMOTE;
  if (s == L"CDROM" || s == L"CD-ROM" || s == L"OPTICAL" || s == L"5") return DRIVE_CDROM;
  if (s == L"RAMDISK" || s == L"6") return DRIVE_RAMDISK;
  return std::nullopt;
}

std::optional<int> ParseBusType(const std::wstring& v) {
  std::wstring s = UpperCase(v);
  if (s == L"USB") return BusTypeUsb;
  if (s == L"SATA") return BusTypeSata;
  if (s == L"ATA") return BusTypeAta;
  if (s == L"ATAPI") return BusTypeAtapi;
  if (s == L"SCSI") return BusTypeScsi;
  if (s == L"NVME") return BusTypeNvme;
  if (s == L"SD") return BusTypeSd;
  if (s == L"VIRTUAL") return BusTypeVirtual;
  if (s == L"UNKNOWN") return BusTypeUnknown;
  const std::optional<int> n = ParseNumber<int>(std::wstring_view(s));
  if (n && *n >= 0 && *n < 64) return *n;
  return std::nullopt;
}

std::optional<bool> ParseBool(const std::wstring& v) {
  std::wstring s = UpperCase(v);
  if (s == L"1" || s == L"YES" || s == L"TRUE") return true;
  if (s == L"0" || s == L"NO" || s == L"FALSE") return false;
  return std::nullopt;
}

std::optional<std::uint64_t> ParseMb(const std::wstring& v) {
  if (v.empty()) return std::nullopt;
  std::uint64_t n = 0;
  for (wchar_t c : v) {
    if (c < L'0' || c > L'9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c - L'0');
    if (n > (1ull << 43)) return std::nullopt;
  }
  return n * 1048576ull;
}

std::optional<int> ParseInt(const std::wstring& v) {
  if (v.empty() || v.size() > 6) return std::nullopt;
  int n = 0;
  for (wchar_t c : v) {
    if (c < L'0' || c > L'9') return std::nullopt;
    n = n * 10 + (c - L'0');
  }
  return n;
}

// Why a disk image cannot serve as a disk, or null: it must be a regular
// file or a block device.
const char* DiskImageProblem(const std::string& image) {
  struct stat st;
  if (::stat(image.c_str(), &st) != 0) return " does not exist";
  if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) return nullptr;
  if (S_ISDIR(st.st_mode)) return " is a folder";
  return " is a pipe, socket or character device";
}

std::string HostFolderFor(const std::string& value, const fs::path& base) {
  fs::path p(value);
  if (p.is_relative()) p = base / p;
  return p.lexically_normal().string();
}

}  // namespace

Machine Machine::FromProfile(const std::string& profilePath, const std::string& prefix) {
  std::string bytes;
  if (DWORD error = ReadHostFile(profilePath, bytes); error != ERROR_SUCCESS)
    throw ProfileError(profilePath, 0, ReadFileErrorText(error));
  return FromProfileText(bytes, profilePath, prefix);
}

Machine Machine::FromProfileText(std::string_view bytes, const std::string& profilePath, const std::string& prefix) {
  IniDocument doc = IniDocument::Parse(bytes);
  if (!doc.MalformedLines().empty())
    throw ProfileError(profilePath, doc.MalformedLines().front(),
                       "expected [section] or key = value");

  Machine m;
  m.prefix_ = prefix;
  m.profile_ = profilePath;
  m.invokers_ = IsInvokersPrefix(prefix);
  fs::path base = fs::path(profilePath).parent_path();
  if (base.empty()) base = ".";
  base = fs::absolute(base);

  auto fail = [&](int line, const std::string& what) { throw ProfileError(profilePath, line, what); };

  for (const auto& section : doc.Sections()) {
    std::wstring name = UpperCase(section.name);
    if (name.rfind(L"DRIVE ", 0) == 0) {
      std::wstring letterText = name.substr(6);
      if (letterText.size() == 2 && letterText[1] == L':') letterText.pop_back();
      if (letterText.size() != 1 || letterText[0] < L'A' || letterText[0] > L'Z')
        fail(section.line, "a drive section names one letter A to Z, as [drive E]");
      DriveDecl d;
      d.letter = letterText[0];
      if (m.drives_.count(d.letter)) fail(section.line, "drive " + AnsiFromWide(letterText) + " is declared twice");
      bool haveFolder = false;
      int imageLine = 0;
      for (const auto& e : section.entries) {
        std::wstring key = UpperCase(e.key);
        const std::string v8 = AnsiFromWide(e.value);
        if (key == L"FOLDER") {
          if (e.value.empty()) fail(e.line, "folder is empty");
          if (e.value.find(L'\0') != std::wstring::npos) fail(e.line, "folder holds a NUL character");
          d.hostFolder = HostFolderFor(v8, base);
          haveFolder = true;
        } else if (key == L"IMAGE") {
          if (e.value.empty()) fail(e.line, "image is empty");
          if (e.value.find(L'\0') != std::wstring::npos) fail(e.line, "image holds a NUL character");
          d.image = HostFolderFor(v8, base);
          imageLine = e.line;
        } else if (key == L"TYPE") {
          auto t = ParseDriveType(e.value);
          if (!t) fail(e.line, "unknown drive type '" + v8 + "' (removable, fixed, remote, cdrom, ramdisk)");
          d.driveType = *t;
        } else if (key == L"BUS") {
          auto b = ParseBusType(e.value);
          if (!b) fail(e.line, "unknown bus type '" + v8 + "' (usb, sata, ata, scsi, nvme, sd, virtual)");
          d.busType = *b;
        } else if (key == L"LABEL") {
          d.label = e.value;
        } else if (key == L"FILESYSTEM") {
          d.fileSystem = e.value;
        } else if (key == L"READY") {
          auto b = ParseBool(e.value);
          if (!b) fail(e.line, "ready is yes or no");
          d.ready = *b;
        } else if (key == L"FREE_MB") {
          d.freeBytes = ParseMb(e.value);
          if (!d.freeBytes) fail(e.line, "free_mb is a whole number of MiB");
        } else if (key == L"TOTAL_MB") {
          d.totalBytes = ParseMb(e.value);
          if (!d.totalBytes) fail(e.line, "total_mb is a whole number of MiB");
        } else if (key == L"DISK") {
          auto n = ParseInt(e.value);
          if (!n) fail(e.line, "disk is a disk number");
          d.diskNumber = *n;
        } else if (key == L"PARTITION") {
          auto n = ParseInt(e.value);
          if (!n || *n < 1) fail(e.line, "partition is a partition number from 1");
          d.partitionNumber = *n;
        } else if (key == L"DEVICE") {
          d.hostDevice = v8;
        } else {
          fail(e.line, "unknown key '" + AnsiFromWide(e.key) + "' in a drive section");
        }
      }
      if (imageLine != 0) {
        if (haveFolder) fail(imageLine, "a drive has a folder or an image, not both");
        d.invokersImage = m.invokers_;
        std::string why;
        if (!CompleteImageDrive(d, why)) fail(imageLine, why);
        m.drives_[d.letter] = d;
        continue;
      }
      if (!haveFolder) fail(section.line, "drive section without folder");
      if (m.invokers_)
        if (std::string why = CheckInvokersFolder(d.hostFolder, d.driveType != DRIVE_CDROM); !why.empty())
          fail(section.line, why);
      d.hostFileSystem = HostFileSystemOf(d.hostFolder);
      if (d.fileSystem.empty())
        d.fileSystem = d.driveType == DRIVE_CDROM ? L"CDFS" : SystemFileSystemName(d.hostFileSystem, 0);
      m.drives_[d.letter] = d;
    } else if (name.rfind(L"DISK ", 0) == 0) {
      auto n = ParseInt(name.substr(5));
      if (!n) fail(section.line, "a disk section names its number, as [disk 1]");
      if (m.disks_.count(*n)) fail(section.line, "disk " + std::to_string(*n) + " is declared twice");
      DiskDecl disk;
      disk.number = *n;
      int imageLine = section.line;
      for (const auto& e : section.entries) {
        std::wstring key = UpperCase(e.key);
        if (key == L"SIZE_MB") {
          auto b = ParseMb(e.value);
          if (!b) fail(e.line, "size_mb is a whole number of MiB");
          disk.sizeBytes = *b;
        } else if (key == L"BUS") {
          auto b = ParseBusType(e.value);
          if (!b) fail(e.line, "unknown bus type '" + AnsiFromWide(e.value) + "'");
          disk.busType = *b;
        } else if (key == L"DEVICE") {
          disk.hostDevice = AnsiFromWide(e.value);
        } else if (key == L"IMAGE") {
          if (e.value.empty()) fail(e.line, "image is empty");
          disk.image = HostFolderFor(AnsiFromWide(e.value), base);
          imageLine = e.line;
        } else if (key == L"MODEL") {
          disk.model = AnsiFromWide(e.value);
        } else if (key == L"REMOVABLE") {
          auto b = ParseBool(e.value);
          if (!b) fail(e.line, "removable is yes or no");
          disk.removable = *b;
        } else if (key == L"SECTOR_SIZE") {
          auto n = ParseInt(e.value);
          if (!n || (*n != int(kDefaultSectorSize) && *n != int(kLargeSectorSize))) fail(e.line, "sector_size is 512 or 4096");
          disk.sectorSize = static_cast<std::uint32_t>(*n);
        } else {
          fail(e.line, "unknown key '" + AnsiFromWide(e.key) + "' in a disk section");
        }
      }
      if (!disk.image.empty() && m.invokers_)
        if (std::string why = HoldInvokersDiskImage(disk); !why.empty()) fail(imageLine, why);
      if (!disk.image.empty()) {
        // Found out here, not after the user confirmed the format: the
        // image must hold bytes we can write (a pipe would block the disk
        // step for good, /dev/zero swallows everything).
        if (const char* problem = DiskImageProblem(disk.Backing())) fail(imageLine, "the disk image " + disk.image + problem);
        if (disk.sizeBytes == 0) {
          auto size = BackingBytes(disk.Backing());
          if (!size) fail(section.line, "cannot read the disk image " + disk.image);
          disk.sizeBytes = *size;
        }
      }
      m.disks_[disk.number] = disk;
    } else if (name == L"DRIVERS") {
      for (const auto& e : section.entries) {
        const std::wstring key = UpperCase(e.key);
        if (key == L"LIBRARY" && !e.value.empty()) {
          m.driverLibrary_ = (base / AnsiFromWide(e.value)).lexically_normal().string();
          const std::string why =
              m.invokers_ ? CheckInvokersFolder(m.driverLibrary_, true) : CheckSystemPlace(m.driverLibrary_);
          if (!why.empty()) fail(e.line, "the driver library: " + why);
        } else if (key == L"SAMPLES") {
          const std::wstring v = UpperCase(e.value);
          if (v != L"YES" && v != L"NO") fail(e.line, "samples is yes or no");
          m.sampleDrivers_ = v == L"YES";
        } else if (key == L"ROOTS" && !e.value.empty()) {
          m.driverRoots_ = (base / AnsiFromWide(e.value)).lexically_normal().string();
          const std::string why = m.invokers_ ? CheckInvokersFile(m.driverRoots_) : CheckSystemPlace(m.driverRoots_);
          if (!why.empty()) fail(e.line, "the list of roots: " + why);
        } else if (key == L"PCI" && !e.value.empty()) {
          // A stand-in device tree (test machines). Root reads only small
          // number files of it, never following a link; in a user's prefix
          // it must be a folder that user may read.
          m.pciDevices_ = (base / AnsiFromWide(e.value)).lexically_normal().string();
          const std::string why = m.invokers_ ? CheckInvokersFolder(m.pciDevices_, false) : std::string();
          if (!why.empty()) fail(e.line, "the PCI device tree: " + why);
        } else {
          fail(e.line, "unknown key '" + AnsiFromWide(e.key) + "' in the drivers section");
        }
      }
    } else {
      fail(section.line, "unknown section [" + AnsiFromWide(section.name) + "] (drive X, disk N or drivers)");
    }
  }

  // A drive's bus defaults to its disk's.
  for (auto& [letter, d] : m.drives_) {
    if (d.busType == BusTypeUnknown && d.diskNumber >= 0) {
      auto it = m.disks_.find(d.diskNumber);
      if (it != m.disks_.end()) d.busType = it->second.busType;
    }
  }

  // The system drive lives in the prefix unless the profile places it; Z:
  // shows the host root unless the profile uses the letter.
  if (!m.drives_.count(L'C')) m.drives_[L'C'] = SystemDrive(prefix);
  if (!m.drives_.count(L'Z')) m.drives_[L'Z'] = HostRootDrive();
  return m;
}

Machine Machine::ForPrefix(const std::string& given) {
  std::string reason;
  const std::optional<std::string> trusted = TrustedPrefix(given, reason);
  if (!trusted) throw PrefixError(given, reason);
  const std::string& prefix = *trusted;
  std::string profile = prefix + "/machine.ini";
  std::error_code ec;
  // Whatever stands at that name (a folder, a device) is the profile the
  // user meant; FromProfile says what is wrong with it.
  if (fs::symlink_status(profile, ec).type() != fs::file_type::not_found && !ec) return FromProfile(profile, prefix);
  return Discover(prefix);
}

namespace {
constexpr const char* kPrefixVariable = "KESTRUNEX_PREFIX";
constexpr const char* kHomePrefixName = "/.kestrunex";
constexpr mode_t kHomePrefixMode = 0700;
}  // namespace

std::string DefaultPrefix() {
  if (const char* p = std::getenv(kPrefixVariable); p && *p) return fs::absolute(p).lexically_normal().string();
  // Never a shared folder such as /tmp: whoever made ours first would own it.
  const std::string home = HomeFolder();
  if (home.empty()) throw PrefixError(kHomePrefixName, "no home folder is known for this user");
  return home + kHomePrefixName;
}

std::string CheckedDefaultPrefix() {
  const std::string prefix = DefaultPrefix();
  const char* named = std::getenv(kPrefixVariable);
  if (!(named && *named)) ::mkdir(prefix.c_str(), kHomePrefixMode);  // the home default is ours to make
  std::string reason;
  const std::optional<std::string> trusted = TrustedPrefix(prefix, reason);
  if (!trusted) throw PrefixError(prefix, reason);
  return *trusted;
}

namespace {
std::atomic<Machine*> g_machine{nullptr};
std::once_flag g_machineOnce;
std::unique_ptr<Machine> g_defaultMachine;
}  // namespace

Machine& CurrentMachine() {
  if (Machine* m = g_machine.load()) return *m;
  std::call_once(g_machineOnce, [] {
    std::string prefix;
    try {
      prefix = CheckedDefaultPrefix();
      g_defaultMachine = std::make_unique<Machine>(Machine::ForPrefix(prefix));
    } catch (const PrefixError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      std::fflush(stderr);
      std::_Exit(1);
    } catch (const ProfileError&) {
      // A broken profile leaves the process with only its system drive; the
      // diagnostic command reports the error itself.
      g_defaultMachine = std::make_unique<Machine>(Machine::Discover(prefix));
    }
  });
  Machine* expected = nullptr;
  g_machine.compare_exchange_strong(expected, g_defaultMachine.get());
  return *g_machine.load();
}

ScopedMachine::ScopedMachine(Machine machine)
    : current_(std::make_unique<Machine>(std::move(machine))), previous_(g_machine.exchange(current_.get())) {}

ScopedMachine::~ScopedMachine() { g_machine.store(previous_); }

}  // namespace platform
