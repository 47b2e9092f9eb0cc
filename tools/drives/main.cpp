// kestrunex-drives: prints the drive namespace as the program sees it, one
// line per drive, so a user can learn why a drive is or is not offered.
//
//   kestrunex-drives [--profile FILE]
//
// Without --profile it reads the prefix folder's profile (machine.ini) when
// there is one, else it looks at the host. A malformed profile is reported
// with its file and line, one that cannot be read (missing, a folder, a
// device, too large) as "file: reason"; either way the command exits with
// status 2. Exit status 64 is a usage error.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "platform/disks/partitionvolume.h"
#include "platform/disks/volumerecord.h"
#include "platform/lasterror.h"
#include "platform/machine/machine.h"
#include "platform/text.h"
#include "platform/machine/volumes.h"

namespace {

const char* TypeName(platform::UINT type) {
  switch (type) {
    case platform::DRIVE_REMOVABLE: return "removable";
    case platform::DRIVE_FIXED: return "fixed";
    case platform::DRIVE_REMOTE: return "remote";
    case platform::DRIVE_CDROM: return "cdrom";
    case platform::DRIVE_RAMDISK: return "ramdisk";
    default: return "unknown";
  }
}

const char* BusName(int bus) {
  switch (bus) {
    case platform::BusTypeUsb: return "usb";
    case platform::BusTypeSata: return "sata";
    case platform::BusTypeAta: return "ata";
    case platform::BusTypeAtapi: return "atapi";
    case platform::BusTypeScsi: return "scsi";
    case platform::BusTypeNvme: return "nvme";
    case platform::BusTypeSd: return "sd";
    case platform::BusTypeVirtual: return "virtual";
    default: return "-";
  }
}

int Usage() {
  std::fprintf(stderr, "usage: kestrunex-drives [--profile FILE]\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  std::string profile;
  bool haveProfile = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--profile") == 0 && i + 1 < argc) {
      profile = argv[++i];
      haveProfile = true;
    }
    else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return Usage() * 0;
    else return Usage();
  }

  std::string prefix;
  platform::Machine machine;
  try {
    prefix = platform::DefaultPrefix();
    machine = haveProfile ? platform::Machine::FromProfile(profile, prefix) : platform::Machine::ForPrefix(prefix);
  } catch (const platform::ProfileError& e) {
    std::fprintf(stderr, "kestrunex-drives: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    // Anything else the host throws at us while reading it is still a bad
    // profile for the user, never an abort.
    std::fprintf(stderr, "kestrunex-drives: %s: %s\n", haveProfile ? profile.c_str() : (prefix + "/machine.ini").c_str(),
                 e.what());
    return 2;
  }
  platform::ScopedMachine scoped(machine);
  // Volumes on the machine's disks as the program sees them: the letters our
  // disk tool mounted, and unmounted partitions read from the disk itself.
  platform::disks::InstallPartitionVolumes();
  platform::disks::ApplyVolumeRecord();

  std::printf("prefix %s, %s\n", prefix.c_str(),
              machine.ProfilePath().empty() ? "drives discovered on this host"
                                            : ("profile " + machine.ProfilePath()).c_str());
  std::printf("%-6s %-9s %-7s %-20s %-12s %10s %10s  %s\n", "drive", "type", "bus", "label", "filesystem",
              "free MiB", "total MiB", "host folder");
  for (const auto& d : scoped.machine().Drives()) {
    std::wstring root = std::wstring(1, d.letter) + L":\\";
    std::wstring label, fs;
    std::uint64_t free = 0, total = 0;
    bool ready = platform::GetVolumeInformation(root, &label, &fs);
    const bool raw = !ready && platform::GetLastError() == platform::ERROR_UNRECOGNIZED_VOLUME;
    bool space = ready && platform::GetDiskFreeSpaceEx(root, &free, &total, nullptr);
    std::string fsText = ready ? platform::AnsiFromWide(fs) : raw ? "RAW" : "not ready";
    if (ready && !d.hostFileSystem.empty()) fsText += " (" + d.hostFileSystem + ")";
    std::printf("%-6s %-9s %-7s %-20s %-12s %10s %10s  %s\n", platform::AnsiFromWide(root).c_str(),
                TypeName(d.driveType), BusName(d.busType), platform::AnsiFromWide(label).c_str(), fsText.c_str(),
                space ? std::to_string(free / 1048576).c_str() : "-",
                space ? std::to_string(total / 1048576).c_str() : "-",
                d.image.empty() ? d.hostFolder.c_str() : d.image.c_str());
  }
  return 0;
}
