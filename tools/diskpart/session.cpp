#include "tools/diskpart/session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/number.h"
#include "platform/disks/diskclaim.h"
#include "platform/disks/diskuse.h"
#include "platform/disks/hostcommand.h"
#include "platform/disks/ntnames.h"
#include "platform/disks/physicaldrive.h"
#include "platform/disks/volumemount.h"
#include "platform/disks/volumerecord.h"
#include "platform/machine/machine.h"
#include "platform/fs/paths.h"
#include "platform/text.h"
#include "tools/diskpart/disktable.h"
#include "tools/diskpart/scriptfile.h"

namespace diskpart {

namespace pd = platform::disks;

namespace {

constexpr std::uint8_t kTypeFat32Lba = 0x0C;
constexpr std::uint8_t kTypeNtfs = 0x07;
constexpr std::size_t kPrimarySlots = 4;  // the MBR's own slots; EBR slots follow
constexpr std::uint32_t kBiosSector = 512;  // the only sector size a BIOS starts a disk of

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool ParseNumber(const std::string& s, int* n) {
  if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  const auto number = platform::ParseNumber<int>(s);
  if (number) *n = *number;
  return number.has_value();
}

// "key=value" among the words; "" when absent.
std::string Option(const std::vector<std::string>& words, const std::string& key) {
  for (const auto& w : words) {
    auto eq = w.find('=');
    if (eq != std::string::npos && Upper(w.substr(0, eq)) == key) return w.substr(eq + 1);
  }
  return {};
}

// A link anywhere to a device is that device.
bool IsBlockDevice(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

}  // namespace

Session::Session(std::ostream& out, std::string bootCodeFolder, int owner)
    : out_(out), bootCodeFolder_(std::move(bootCodeFolder)), owner_(owner) {
  pd::ReleaseOrphanedVolumes();
  pd::ApplyVolumeRecord();
}

int Session::Fail(const std::string& message, int code) {
  out_ << "\n" << message << "\n";
  return code;
}

int Session::RunFile(const std::string& path) {
  std::string host;
  if (!platform::ResolvePath(platform::WideFromAnsi(path), host)) host = path;
  std::vector<std::string> lines;
  std::string error;
  if (!ReadScriptFile(host, &lines, &error))
    return Fail("The script file " + path.substr(0, kMaxLineChars) + " cannot be read: " + error + ".", kExitBadScript);
  for (const std::string& line : lines) {
    int code = Run(line);
    if (code >= 0) return code;
  }
  return kExitOk;
}

int Session::RunStream(std::istream& in) {
  std::string line;
  std::size_t number = 1;
  bool tooLong = false;
  auto endLine = [&]() {
    if (tooLong)
      return Fail("Line " + std::to_string(number) + " is longer than " + std::to_string(kMaxLineChars) +
                      " characters.",
                  kExitBadScript);
    const int code = Run(line);
    line.clear();
    ++number;
    return code;
  };
  for (int c = in.get(); c != std::char_traits<char>::eof(); c = in.get()) {
    if (c == '\r' || c == '\n') {
      if (c == '\r' && in.peek() == '\n') in.get();
      if (const int code = endLine(); code >= 0) return code;
      continue;
    }
    if (line.size() < kMaxLineChars) line.push_back(static_cast<char>(c));
    else tooLong = true;
  }
  if (!line.empty() || tooLong) {
    if (const int code = endLine(); code >= 0) return code;
  }
  return kExitOk;
}

int Session::Run(const std::string& line) {
  std::vector<std::string> w = Words(line);
  if (w.empty() || Upper(w[0]) == "REM") return -1;
  std::string verb = Upper(w[0]);
  std::string object = w.size() > 1 ? Upper(w[1]) : "";
  if ((verb == "SEL" || verb == "SELECT") && w.size() == 3) {
    if (object == "DISK") return SelectDisk(w[2]);
    if (object == "PAR" || object == "PART" || object == "PARTITION") return SelectPartition(w[2]);
  }
  if (verb == "FORMAT") return Format(Upper(Option(w, "FS")), Option(w, "LABEL"));
  if (verb == "ACTIVE" && w.size() == 1) return Active();
  if (verb == "CLEAN" && w.size() == 1) return Clean();
  if ((verb == "CREA" || verb == "CREATE") && (object == "PART" || object == "PARTITION") && w.size() == 3 &&
      (Upper(w[2]) == "PRIM" || Upper(w[2]) == "PRIMARY"))
    return CreatePrimary();
  if (verb == "ASSIGN") {
    std::string letter = Upper(Option(w, "LETTER"));
    if (letter.size() == 2 && letter[1] == ':') letter.pop_back();
    if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z')
      return Fail("The arguments specified for this command are not valid.");
    return Assign(letter[0]);
  }
  if (verb == "EXIT") return kExitOk;
  return Fail("The command " + w[0] + " is not one DiskPart knows.", kExitBadScript);
}

int Session::SelectDisk(const std::string& number) {
  int n = -1;
  auto drive = ParseNumber(number, &n) ? pd::PhysicalDrive::Open(n) : nullptr;
  if (!drive) return Fail("The disk you specified is not valid.\n\nThere is no disk selected.");
  std::string backing = drive->Decl().Backing();
  if (IsBlockDevice(backing) && ::geteuid() != 0)
    return Fail("DiskPart needs root rights to change disk " + number + ".", kExitRefused);
  // The system's walk, then the kernel's claims of what is not mounted
  // here (those mounts go before anything is written).
  std::string use = pd::DiskRefusal(backing);
  if (!use.empty())
    return Fail("DiskPart refuses to change disk " + number + ": " + use + ".", kExitRefused);
  disk_ = n;
  partition_ = -1;
  backing_ = backing;
  sectorSize_ = drive->SectorSize();
  out_ << "\nDisk " << n << " is now the selected disk.\n";
  return -1;
}

int Session::SelectPartition(const std::string& number) {
  if (disk_ < 0) return Fail("There is no disk selected to set the partition.\nPlease select a disk and try again.");
  int n = -1;
  if (!ParseNumber(number, &n) || !pd::PartitionRange(disk_, n, nullptr, nullptr))
    return Fail("The partition you specified is not valid.\nPlease select a valid partition.");
  partition_ = n;
  out_ << "\nPartition " << n << " is now the selected partition.\n";
  return -1;
}

bool Session::PartitionRange(std::uint64_t* startSector, std::uint64_t* sectors) const {
  std::int64_t offset = 0, length = 0;
  if (!pd::PartitionRange(disk_, partition_, &offset, &length)) return false;
  *startSector = static_cast<std::uint64_t>(offset) / sectorSize_;
  *sectors = static_cast<std::uint64_t>(length) / sectorSize_;
  return true;
}

int Session::Format(const std::string& fileSystem, const std::string& label) {
  if (partition_ < 0) return Fail("There is no volume selected.\nPlease select a volume and try again.");
  if (fileSystem != "FAT32" && fileSystem != "NTFS") return Fail("The specified file system is not valid.");
  std::uint64_t start = 0, sectors = 0;
  if (!PartitionRange(&start, &sectors)) return Fail("The partition you specified is not valid.");
  std::string error;
  if (!pd::UnmountDisk(disk_, &error)) return Fail("DiskPart has encountered an error: " + error);
  // Unmounted here; held anywhere else (another namespace, swap, a
  // holder), the disk is not written. mkfs then takes its own claim.
  if (const int refused = RefuseIfClaimed(pd::ClaimProbe::Everything); refused >= 0) return refused;
  pd::CommandResult r;
  // The file system's sector is the disk's logical sector (the system
  // mounts no FAT or NTFS whose sectors differ from its disk's), and its
  // hidden sectors are the partition's start in those sectors.
  const std::string sectorBytes = std::to_string(sectorSize_);
  if (fileSystem == "FAT32") {
    // --offset counts sectors of the -S size.
    std::vector<std::string> cmd = {"mkfs.vfat", "-F", "32", "-S", sectorBytes, "-I", "-D", "0x80",
                                    "-h", std::to_string(start), "--offset", std::to_string(start)};
    if (!label.empty()) cmd.insert(cmd.end(), {"-n", Upper(label)});
    cmd.insert(cmd.end(), {backing_, std::to_string(sectors * sectorSize_ / 1024)});
    r = pd::RunCommand(cmd);
  } else {
    pd::CommandResult loop =
        pd::RunCommand({"losetup", "--find", "--show", "--sector-size", sectorBytes, "--offset",
                        std::to_string(start * sectorSize_), "--sizelimit", std::to_string(sectors * sectorSize_),
                        backing_});
    if (loop.exitCode != 0) return Fail("DiskPart has encountered an error: " + loop.output);
    std::string device = loop.output.substr(0, loop.output.find('\n'));
    std::vector<std::string> cmd = {"mkfs.ntfs", "-Q", "-F", "-p", std::to_string(start), "-H", "255", "-S", "63",
                                    "-s", sectorBytes};
    if (!label.empty()) cmd.insert(cmd.end(), {"-L", label});
    cmd.push_back(device);
    r = pd::RunCommand(cmd);
    // The loop device's buffers hold the new file system until it goes.
    pd::CommandResult detach = pd::RunCommand({"losetup", "--detach", device});
    if (r.exitCode == 0 && detach.exitCode != 0) r = detach;
  }
  if (r.exitCode != 0) return Fail("DiskPart has encountered an error: the volume could not be formatted.\n" + r.output);
  if (!SetPartitionType(backing_, sectorSize_, start, fileSystem == "FAT32" ? kTypeFat32Lba : kTypeNtfs, &error))
    return Fail("DiskPart has encountered an error: " + error);
  out_ << "\n  100 percent completed\n\nDiskPart successfully formatted the volume.\n";
  if (wchar_t letter = LetterOfSelection(); letter && !Remount(letter, platform::WideFromAnsi(fileSystem), &error))
    return Fail("DiskPart has encountered an error: " + error);
  return -1;
}

int Session::RefuseIfClaimed(pd::ClaimProbe probe) {
  const pd::DiskUse use = pd::ExamineDisk(backing_);
  std::string why = use.refusal.empty() ? pd::ProbeClaims(use, probe) : use.refusal;
  if (why.empty()) return -1;
  return Fail("DiskPart refuses to change disk " + std::to_string(disk_) + ": " + why + ".", kExitRefused);
}

int Session::Active() {
  if (partition_ < 0) return Fail("There is no partition selected.\nPlease select a partition and try again.");
  std::uint64_t start = 0, sectors = 0;
  if (!PartitionRange(&start, &sectors)) return Fail("The partition you specified is not valid.");
  auto drive = pd::PhysicalDrive::Open(disk_);
  if (!drive) return Fail("The disk you specified is not valid.");
  auto table = drive->Table();
  if (table.style != platform::PARTITION_STYLE_MBR)
    return Fail("The selected disk is not a fixed MBR disk.\nThe ACTIVE command can only be used on fixed MBR disks.");
  // A BIOS reads a disk in 512-byte sectors (and Windows 7 starts from no
  // other): on a disk of larger logical sectors the boot code would be
  // written where no firmware runs it, and the stick would start nothing.
  if (sectorSize_ != kBiosSector)
    return Fail("The selected disk has " + std::to_string(sectorSize_) +
                "-byte sectors.\nThe ACTIVE command can only be used on disks of 512-byte sectors.");
  // The boot code starts the active primary partition: a logical drive
  // marked active would leave a stick that starts nothing.
  for (std::size_t i = kPrimarySlots; i < table.entries.size(); ++i)
    if (table.entries[i].PartitionNumber == static_cast<platform::DWORD>(partition_))
      return Fail("The selected partition is a logical drive.\n"
                  "The ACTIVE command can only be used on primary partitions.");
  std::uint64_t first = UINT64_MAX;  // bytes
  for (const auto& e : table.entries)
    if (e.Mbr.PartitionType != 0) first = std::min(first, static_cast<std::uint64_t>(e.StartingOffset));
  BootCode code;
  std::string error;
  if (!BootCode::Load(bootCodeFolder_, &code, &error)) return Fail("DiskPart has encountered an error: " + error);
  // A first partition too close to the MBR leaves no room for the loader:
  // WriteBootCode refuses with the reason, before the table is touched.
  if ((first < code.BytesNeeded() && !WriteBootCode(backing_, code, first, sectorSize_, &error)) ||
      !MakeActive(backing_, sectorSize_, start, &error) || !WriteBootCode(backing_, code, first, sectorSize_, &error))
    return Fail("DiskPart has encountered an error: " + error);
  out_ << "\nDiskPart marked the current partition as active.\n";
  return -1;
}

int Session::Clean() {
  if (disk_ < 0) return Fail("There is no disk selected.\nPlease select a disk and try again.");
  auto drive = pd::PhysicalDrive::Open(disk_);
  std::string error;
  if (!drive || !pd::UnmountDisk(disk_, &error)) return Fail("DiskPart has encountered an error: " + error);
  if (const int refused = RefuseIfClaimed(pd::ClaimProbe::Everything); refused >= 0) return refused;
  if (!WipeTables(backing_, drive->Size(), &error)) return Fail("DiskPart has encountered an error: " + error);
  partition_ = -1;
  // What the kernel made of the re-read table is looked at again (a
  // mount here goes before the format).
  if (const int refused = RefuseIfClaimed(pd::ClaimProbe::BeforeUnmount); refused >= 0) return refused;
  out_ << "\nDiskPart succeeded in cleaning the disk.\n";
  return -1;
}

int Session::CreatePrimary() {
  if (disk_ < 0) return Fail("There is no disk selected.\nPlease select a disk and try again.");
  std::uint64_t start = 0;
  std::string error;
  if (!diskpart::CreatePrimary(backing_, sectorSize_, kTypeFat32Lba, &start, &error))
    return Fail("DiskPart has encountered an error: " + error);
  partition_ = -1;
  // A new partition held elsewhere at once is not formatted under its
  // holder (a mount here goes before the format).
  if (const int refused = RefuseIfClaimed(pd::ClaimProbe::BeforeUnmount); refused >= 0) return refused;
  for (const auto& e : pd::PhysicalDrive::Open(disk_)->Table().entries)
    if (e.PartitionNumber > 0 && static_cast<std::uint64_t>(e.StartingOffset) == start * sectorSize_)
      partition_ = static_cast<int>(e.PartitionNumber);
  out_ << "\nDiskPart succeeded in creating the specified partition.\n";
  return -1;
}

wchar_t Session::LetterOfSelection() const {
  for (const auto& e : pd::ReadVolumeRecord())
    if (e.disk == disk_ && e.partition == partition_) return e.letter;
  const std::wstring volume = pd::VolumeNameOf(disk_, partition_);
  for (const auto& d : platform::CurrentMachine().Drives()) {
    std::wstring target;
    if (pd::QueryDosDevice(std::wstring{d.letter, L':'}, &target) && target == volume) return d.letter;
  }
  return 0;
}

bool Session::Remount(wchar_t letter, const std::wstring& fileSystem, std::string* error) {
  std::string folder, loop;
  if (!pd::MountPartition(disk_, partition_, fileSystem, &folder, &loop, error)) return false;
  return pd::UpdateVolumeRecord([&](std::vector<pd::VolumeEntry>& entries) {
    std::erase_if(entries, [&](const pd::VolumeEntry& e) {
      return e.letter == letter || (e.disk == disk_ && e.partition == partition_);
    });
    pd::VolumeEntry e;
    e.letter = letter;
    e.disk = disk_;
    e.partition = partition_;
    e.folder = folder;
    e.loop = loop;
    e.owner = owner_;
    e.fileSystem = fileSystem;
    entries.push_back(e);
  });
}

int Session::Assign(char letter) {
  if (partition_ < 0) return Fail("There is no volume selected.\nPlease select a volume and try again.");
  const wchar_t l = static_cast<wchar_t>(letter);
  // A letter is free unless a drive of another disk (or no disk) holds it;
  // this disk's own letters are being rebuilt.
  if (auto d = platform::CurrentMachine().Drive(l); d && d->diskNumber != disk_)
    return Fail("The specified drive letter is not free to be assigned.");
  std::string error;
  std::wstring label, fileSystem;
  auto volume = pd::VolumeHandle::Open(pd::VolumeNameOf(disk_, partition_));
  if (volume && volume->GetVolumeInformation(&label, &fileSystem)) {
    if (!pd::UnmountDisk(disk_, &error) || !Remount(l, fileSystem, &error))
      return Fail("DiskPart has encountered an error: " + error);
  } else {
    pd::UpdateVolumeRecord([&](std::vector<pd::VolumeEntry>& entries) {
      std::erase_if(entries, [&](const pd::VolumeEntry& e) {
        return e.letter == l || (e.disk == disk_ && e.partition == partition_);
      });
      entries.push_back(pd::VolumeEntry{l, disk_, partition_, "", "", owner_, L"", L""});
    });
  }
  out_ << "\nDiskPart successfully assigned the drive letter or mount point.\n";
  return -1;
}

}  // namespace diskpart
