#include "tools/cli/usbtarget.h"

#include <climits>
#include <cwctype>
#include <filesystem>

#include "config/ovmultilangdll.h"
#include "platform/machine/machine.h"
#include "platform/text.h"
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
  error = Translate(L"Cli No Disk") + L" " + text;
  return {};
}
