// Discovery of the host's drives when no profile declares them.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/machine/machine.h"
#include "platform/machine/mountinfo.h"
#include "platform/machine/prefixtrust.h"
#include "platform/machine/profileplaces.h"
#include "platform/text.h"
#include "platform/number.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSysfsSectorBytes = 512;

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string s;
  std::getline(in, s);
  return s;
}

// "/dev/sdb1" -> "sdb"; "" when the source is no block device we know.
std::string BlockDeviceOf(const std::string& source) {
  if (source.rfind("/dev/", 0) != 0) return {};
  std::error_code ec;
  fs::path dev = fs::canonical(source, ec);
  if (ec) return {};
  std::string name = dev.filename().string();
  if (fs::exists("/sys/block/" + name)) return name;
  // A partition: /sys/class/block/sdb1/.. is the disk.
  fs::path part = fs::path("/sys/class/block") / name;
  if (!fs::exists(part)) return {};
  fs::path disk = fs::canonical(part, ec).parent_path();
  if (ec) return {};
  return disk.filename().string();
}

std::string Trimmed(std::string s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// "SanDisk Cruzer Blade": the device's vendor and model as its driver
// reports them (SCSI and USB disks pad both with blanks; NVMe has no vendor).
std::string DeviceModel(const fs::path& device) {
  const std::string vendor = Trimmed(ReadLine(device / "vendor"));
  const std::string model = Trimmed(ReadLine(device / "model"));
  if (vendor.empty() || model.rfind(vendor, 0) == 0) return model;
  return model.empty() ? vendor : vendor + " " + model;
}

bool IsUsbBlockDevice(const std::string& disk) {
  std::error_code ec;
  fs::path real = fs::canonical(fs::path("/sys/block") / disk, ec);
  return !ec && real.string().find("/usb") != std::string::npos;
}

std::wstring LabelOf(const std::string& source) {
  std::error_code ec;
  fs::path dev = fs::canonical(source, ec);
  if (ec || !fs::is_directory("/dev/disk/by-label")) return {};
  for (const auto& e : fs::directory_iterator("/dev/disk/by-label", ec)) {
    if (fs::canonical(e.path(), ec) == dev) {
      // udev escapes blanks as \x20.
      std::string name = e.path().filename().string(), out;
      for (size_t i = 0; i < name.size(); ++i) {
        if (name.compare(i, 2, "\\x") == 0 && i + 3 < name.size()) {
          const auto byte = ParseNumber<unsigned char>(std::string_view(name).substr(i + 2, 2), 16);
          if (!byte) {
            out += name[i];
            continue;
          }
          out += static_cast<char>(*byte);
          i += 3;
        } else {
          out += name[i];
        }
      }
      return WideFromAnsi(out);
    }
  }
  return {};
}

}  // namespace

Machine Machine::Discover(const std::string& given) {
  std::string reason;
  const std::optional<std::string> trusted = TrustedPrefix(given, reason);
  if (!trusted) throw PrefixError(given, reason);
  const std::string& prefix = *trusted;
  Machine m;
  m.prefix_ = prefix;
  m.invokers_ = IsInvokersPrefix(prefix);

  m.drives_[L'C'] = SystemDrive(prefix);
  m.drives_[L'Z'] = HostRootDrive();

  // Disks are numbered in the order of their names, as the system numbers
  // its physical drives 0, 1, 2 ...
  std::vector<std::string> diskNames;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/sys/block", ec)) {
    std::string n = e.path().filename().string();
    if (n.rfind("loop", 0) == 0 || n.rfind("ram", 0) == 0 || n.rfind("zram", 0) == 0) continue;
    diskNames.push_back(n);
  }
  std::sort(diskNames.begin(), diskNames.end());
  for (size_t i = 0; i < diskNames.size(); ++i) {
    DiskDecl d;
    d.number = static_cast<int>(i);
    d.hostDevice = "/dev/" + diskNames[i];
    // sysfs counts 512-byte units whatever the device's logical sector
    // size; the sector size itself is asked of the opened device.
    if (const auto sectors = ParseNumber<std::uint64_t>(ReadLine(fs::path("/sys/block") / diskNames[i] / "size")))
      d.sizeBytes = *sectors * kSysfsSectorBytes;
    d.busType = IsUsbBlockDevice(diskNames[i]) ? BusTypeUsb : BusTypeSata;
    d.model = DeviceModel(fs::path("/sys/block") / diskNames[i] / "device");
    m.disks_[d.number] = d;
  }
  auto diskNumberOf = [&](const std::string& name) {
    auto it = std::find(diskNames.begin(), diskNames.end(), name);
    return it == diskNames.end() ? -1 : static_cast<int>(it - diskNames.begin());
  };

  wchar_t next = L'D';
  auto nextLetter = [&]() -> wchar_t {
    while (next <= L'Y' && m.drives_.count(next)) ++next;
    return next <= L'Y' ? next++ : 0;
  };

  std::set<std::string> seen;
  for (const auto& mount : ReadMountTable()) {
    if (seen.count(mount.mountPoint) || mount.mountPoint == "/") continue;
    DriveDecl d;
    d.hostFolder = mount.mountPoint;
    d.hostFileSystem = mount.fsType;
    d.hostDevice = mount.source;
    if (mount.fsType == "iso9660" || mount.fsType == "udf") {
      d.driveType = DRIVE_CDROM;
      d.busType = BusTypeAtapi;
    } else {
      std::string disk = BlockDeviceOf(mount.source);
      if (disk.empty() || !IsUsbBlockDevice(disk)) continue;
      d.busType = BusTypeUsb;
      d.driveType = ReadLine(fs::path("/sys/block") / disk / "removable") == "1" ? DRIVE_REMOVABLE : DRIVE_FIXED;
      d.diskNumber = diskNumberOf(disk);
    }
    d.letter = nextLetter();
    if (!d.letter) break;
    d.label = LabelOf(mount.source);
    d.fileSystem = SystemFileSystemName(mount.fsType, 0);
    seen.insert(mount.mountPoint);
    m.drives_[d.letter] = d;
  }
  return m;
}

}  // namespace platform
