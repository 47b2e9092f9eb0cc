#include "platform/disks/recordcheck.h"

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "platform/disks/ntnames.h"
#include "platform/fs/readfile.h"
#include "platform/machine/machine.h"

namespace platform::disks {

namespace {

constexpr std::string_view kLoopPrefix = "/dev/loop";
constexpr std::size_t kSysfsValueLimit = 8192;

// "/dev/loop7" -> "loop7"; empty for anything else.
std::string LoopName(const std::string& device) {
  if (device.compare(0, kLoopPrefix.size(), kLoopPrefix) != 0 || device.size() == kLoopPrefix.size()) return {};
  const std::string number = device.substr(kLoopPrefix.size());
  if (number.size() > 6 || number.find_first_not_of("0123456789") != std::string::npos) return {};
  return "loop" + number;
}

// A sysfs attribute's text without its line end; false when unreadable.
bool SysfsValue(const std::string& path, std::string& value) {
  if (ReadHostFile(path, value, kSysfsValueLimit) != ERROR_SUCCESS) return false;
  while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
  return true;
}

std::string Canonical(const std::string& path) {
  std::error_code ec;
  auto p = std::filesystem::canonical(path, ec);
  return ec ? std::string() : p.string();
}

}  // namespace

std::string MountFolderFor(int disk, int partition) {
  return CurrentMachine().Prefix() + "/volumes/disk" + std::to_string(disk) + "-part" + std::to_string(partition);
}

bool FolderIsOurs(const VolumeEntry& entry) {
  return !entry.folder.empty() && entry.folder == MountFolderFor(entry.disk, entry.partition);
}

bool LoopIsOurs(const VolumeEntry& entry) {
  const std::string name = LoopName(entry.loop);
  auto disk = CurrentMachine().Disk(entry.disk);
  if (name.empty() || !disk) return false;
  std::int64_t offset = 0, length = 0;
  if (!PartitionRange(entry.disk, entry.partition, &offset, &length)) return false;
  const std::string base = "/sys/block/" + name + "/loop/";
  std::string backing, offsetText;
  if (!SysfsValue(base + "backing_file", backing) || !SysfsValue(base + "offset", offsetText)) return false;
  const std::string ours = Canonical(disk->Backing());
  return !ours.empty() && backing == ours && offsetText == std::to_string(offset);
}

}  // namespace platform::disks
