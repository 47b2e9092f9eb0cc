#include "diskkit.h"

#include "platform/disks/volumemount.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace kxtest {

namespace fs = std::filesystem;

namespace {

// A shell command run with $DEV naming the image as a disk of sectorSize
// bytes: the image itself for 512 (sfdisk here takes no sector size), else
// a loop device of that sector size, detached afterwards.
std::string OnImage(const fs::path& image, std::uint32_t sectorSize, const std::string& command) {
  if (sectorSize == 512) return "DEV='" + image.string() + "'; " + command;
  return "DEV=$(losetup -f --show --sector-size " + std::to_string(sectorSize) + " '" + image.string() +
         "') || exit 1; " + command + "; rc=$?; losetup -d $DEV; exit $rc";
}

}  // namespace

int Shell(const std::string& command) {
  int rc = std::system(command.c_str());
  return rc == -1 ? -1 : WEXITSTATUS(rc);
}

std::string ShellOutput(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

DiskMachine::DiskMachine(std::vector<VirtualDisk> disks, std::vector<VolumeSpec> volumes,
                         const std::string& extraProfile) {
  std::ostringstream profile;
  fs::create_directories(dir_.path() / "drive_c");
  profile << "[drive C]\nfolder = drive_c\ntype = fixed\nbus = sata\nfilesystem = NTFS\n";
  for (const auto& d : disks) {
    fs::path image = Image(d.number);
    { std::ofstream(image, std::ios::binary); }
    fs::resize_file(image, d.sizeMb * 1048576ull);
    if (!d.sfdiskScript.empty())
      Shell(OnImage(image, d.sectorSize,
                    "printf '" + d.sfdiskScript + "' | sfdisk -q --no-reread --no-tell-kernel $DEV >/dev/null 2>&1"));
    profile << "\n[disk " << d.number << "]\nimage = " << image.filename().string() << "\nbus = " << d.bus
            << "\nremovable = " << (d.removable ? "yes" : "no") << "\n";
    if (d.sectorSize != 512) profile << "sector_size = " << d.sectorSize << "\n";
  }
  for (const auto& v : volumes) {
    std::string folder = std::string("drive_") + static_cast<char>(std::tolower(v.letter));
    fs::create_directories(dir_.path() / folder);
    profile << "\n[drive " << v.letter << "]\nfolder = " << folder << "\ntype = " << v.type
            << "\ndisk = " << v.disk << "\npartition = " << v.partition << "\n";
  }
  profile << extraProfile;
  profile_ = (dir_.path() / "machine.ini").string();
  std::ofstream(profile_) << profile.str();
}

void DiskMachine::Install() {
  scoped_.reset();
  scoped_ = std::make_unique<platform::ScopedMachine>(platform::Machine::FromProfile(profile_, dir_.str()));
}

// Mounts made on the machine's disks go before the machine does.
DiskMachine::~DiskMachine() {
  if (scoped_) static_cast<void>(platform::disks::ReleaseVolumes());  // each test checks what it left
}

fs::path DiskMachine::Image(int number) const { return dir_.path() / ("disk" + std::to_string(number) + ".img"); }

void DiskMachine::FormatFat(int disk, int partition, const std::string& label) const {
  std::uint64_t start = 0, size = 0;
  if (!SfdiskPartition(Image(disk), partition, &start, &size)) return;
  std::string cmd = "mkfs.vfat -F 32 --offset " + std::to_string(start / 512) + " " +
                    (label.empty() ? "" : "-n '" + label + "' ") + Image(disk).string() + " " +
                    std::to_string(size / 1024) + " >/dev/null 2>&1";
  Shell(cmd);
}

std::string SfdiskDump(const fs::path& image, std::uint32_t sectorSize) {
  return ShellOutput("(" + OnImage(image, sectorSize, "sfdisk -d $DEV 2>/dev/null") + ")");
}

bool SfdiskPartition(const fs::path& image, int n, std::uint64_t* start, std::uint64_t* size,
                     std::uint32_t sectorSize) {
  std::string dump = SfdiskDump(image, sectorSize);
  std::regex line(R"((?:\.img|p))" + std::to_string(n) + R"( : start= *(\d+), size= *(\d+))");
  std::smatch m;
  if (!std::regex_search(dump, m, line)) return false;
  *start = std::stoull(m[1]) * sectorSize;
  *size = std::stoull(m[2]) * sectorSize;
  return true;
}

}  // namespace kxtest
