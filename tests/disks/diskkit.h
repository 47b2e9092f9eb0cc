#pragma once
// Machines with virtual disks for the disk tests: sparse image files
// partitioned by sfdisk and formatted by mkfs.vfat at the partition's offset,
// declared in a profile with bus, removable flag and number.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/machine/machine.h"
#include "testmachine.h"

namespace kxtest {

// Runs a shell command; its exit status (0 = success).
int Shell(const std::string& command);
// A shell command's standard output.
std::string ShellOutput(const std::string& command);

struct VirtualDisk {
  int number = 1;
  std::uint64_t sizeMb = 64;
  std::string bus = "usb";
  bool removable = false;
  std::string sfdiskScript;  // "" = no partition table
  std::uint32_t sectorSize = 512;  // the table's and the profile's sector_size
};

struct VolumeSpec {
  char letter = 'E';
  int disk = 1;
  int partition = 1;
  std::string type = "fixed";
};

class DiskMachine {
 public:
  // extraProfile: more profile text (plain folder drives, say), appended.
  DiskMachine(std::vector<VirtualDisk> disks, std::vector<VolumeSpec> volumes = {}, const std::string& extraProfile = "");
  ~DiskMachine();
  std::filesystem::path Image(int number) const;
  // Formats partition n of a disk FAT32 in place, with a label ("" none).
  void FormatFat(int disk, int partition, const std::string& label) const;
  const TempDir& dir() const { return dir_; }
  void Install();

 private:
  TempDir dir_;
  std::unique_ptr<platform::ScopedMachine> scoped_;
  std::string profile_;
};

// sfdisk -d of an image whose sectors are sectorSize bytes (through a loop
// device of that sector size when it is not 512); "" when it cannot be read.
std::string SfdiskDump(const std::filesystem::path& image, std::uint32_t sectorSize = 512);
// Start and length in bytes of partition n (1-based, as sfdisk numbers them)
// of a disk with sectors of sectorSize bytes.
bool SfdiskPartition(const std::filesystem::path& image, int n, std::uint64_t* start, std::uint64_t* size,
                     std::uint32_t sectorSize = 512);

}  // namespace kxtest
