#include "tools/cli/usbtarget.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <climits>
#include <cwctype>
#include <filesystem>
#include <fstream>

#include "config/ovmultilangdll.h"
#include "platform/machine/machine.h"
#include "platform/text.h"
#include "platform/machine/diskbacking.h"
#include "platform/number.h"

namespace {

namespace fs = std::filesystem;

bool IsDriveRoot(const std::wstring& text) {
  return text.size() == 3 && std::iswalpha(text[0]) && text[1] == L':' && text[2] == L'\\';
}

// The same file however it is spelled: both paths made absolute and their
// links resolved where they exist.
std::string Canonical(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec) return path;
  return fs::weakly_canonical(absolute, ec).string();
}

// The partition a volume of the disk sits on: the declared number, else the
// digits its device adds to the disk's ("/dev/sdb1", "/dev/mmcblk0p1"); 0
// for a file system on the whole disk, -1 when it cannot be told.
int PartitionOf(const platform::DriveDecl& drive, const platform::DiskDecl& disk) {
  if (drive.partitionNumber >= 0) return drive.partitionNumber;
  if (drive.hostDevice.empty() || disk.hostDevice.empty()) return -1;
  if (drive.hostDevice == disk.hostDevice) return 0;
  if (drive.hostDevice.rfind(disk.hostDevice, 0) != 0) return -1;
  std::string rest = drive.hostDevice.substr(disk.hostDevice.size());
  if (!rest.empty() && rest[0] == 'p') rest.erase(0, 1);
  if (rest.size() > 4) return -1;
  return platform::ParseNumber<int>(std::string_view(rest)).value_or(-1);
}

constexpr unsigned kLoopMajor = 7;
constexpr wchar_t kFirstLetter = L'D', kLastLetter = L'Y';

std::wstring W(const std::string& s) { return platform::WideFromAnsi(s); }

// The file a loop device reads ("" when it reads none), from sysfs.
std::string LoopBacking(dev_t device) {
  std::ifstream in("/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) +
                   "/loop/backing_file");
  std::string backing;
  std::getline(in, backing);
  return backing;
}

// What --usb names when no disk of the machine is it: the backing of a new
// USB disk (an image file, or a loop device over one), or empty with the
// reason. A loop device over a block device is refused: the refusals that
// guard the system's disks would look at the loop device, not at the disk
// it reads, so `losetup /dev/loop0 /dev/sda` would slip past them.
std::string UndeclaredBacking(const std::string& path, std::wstring& error) {
  struct stat st {};
  const bool known = ::stat(path.c_str(), &st) == 0;
  if (known && S_ISREG(st.st_mode)) return path;
  if (known && S_ISBLK(st.st_mode) && major(st.st_rdev) == kLoopMajor) {
    const std::string backing = LoopBacking(st.st_rdev);
    struct stat behind {};
    const bool readable = !backing.empty() && ::stat(backing.c_str(), &behind) == 0;
    if (readable && S_ISREG(behind.st_mode)) return path;
    if (readable && S_ISBLK(behind.st_mode)) {
      error = Translate(L"Cli Loop Over Device") + L" " + W(backing);
      return {};
    }
  }
  error = Translate(L"Cli No Disk") + L" " + W(path) + L"\n" + Translate(L"Cli Usb Forms");
  return {};
}

// Adds a removable USB disk for the backing (an image file or a loop device)
// with a drive for its first partition, shown in an empty folder of the
// prefix as a profile declares such a drive: the disk layer reads the
// partition itself. The drive root, or empty with the reason.
std::wstring AddUsbDisk(const std::string& backing, std::wstring& error) {
  platform::Machine& machine = platform::CurrentMachine();
  wchar_t letter = kFirstLetter;
  while (letter <= kLastLetter && machine.Drive(letter)) ++letter;
  int number = 0;
  for (const platform::DiskDecl& disk : machine.Disks()) number = std::max(number, disk.number + 1);
  const std::string folder = machine.Prefix() + "/usb-" + static_cast<char>(letter);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (letter > kLastLetter || !fs::is_directory(fs::symlink_status(folder, ec))) {
    error = Translate(L"Cli No Disk") + L" " + W(backing);
    return {};
  }
  platform::DiskDecl disk;
  disk.number = number;
  disk.busType = platform::BusTypeUsb;
  disk.removable = true;
  (backing.rfind("/dev/", 0) == 0 ? disk.hostDevice : disk.image) = backing;
  disk.sizeBytes = platform::BackingBytes(backing).value_or(0);
  machine.AddDisk(disk);
  platform::DriveDecl drive;
  drive.letter = letter;
  drive.hostFolder = folder;
  drive.driveType = platform::DRIVE_REMOVABLE;
  drive.busType = platform::BusTypeUsb;
  drive.diskNumber = number;
  drive.partitionNumber = 1;
  machine.AddDrive(drive);
  return std::wstring(1, letter) + L":\\";
}

}  // namespace

std::wstring ResolveUsbTarget(const std::wstring& text, std::wstring& error) {
  const platform::Machine& machine = platform::CurrentMachine();
  if (IsDriveRoot(text)) {
    if (machine.Drive(text[0])) return text;
    error = Translate(L"Cli No Drive") + L" " + text.substr(0, 2);
    return {};
  }
  const std::string wanted = Canonical(platform::AnsiFromWide(text));
  for (const platform::DiskDecl& disk : machine.Disks()) {
    const bool isDevice = !disk.hostDevice.empty() && Canonical(disk.hostDevice) == wanted;
    const bool isImage = !disk.image.empty() && Canonical(disk.image) == wanted;
    if (!isDevice && !isImage) continue;
    wchar_t letter = 0;
    int first = INT_MAX;
    for (const platform::DriveDecl& drive : machine.Drives()) {
      if (drive.diskNumber != disk.number) continue;
      const int partition = PartitionOf(drive, disk);
      if (partition >= 1 && partition < first) {
        first = partition;
        letter = drive.letter;
      }
    }
    if (!letter) {
      error = Translate(L"Cli No Partition") + L" " + text;
      return {};
    }
    return std::wstring(1, letter) + L":\\";
  }
  const std::string backing = UndeclaredBacking(wanted, error);
  return backing.empty() ? std::wstring() : AddUsbDisk(backing, error);
}
