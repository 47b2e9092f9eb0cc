// The disk the system runs from is never changed.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/machine/mountinfo.h"
#include "tools/diskpart/session.h"

namespace diskpart {

namespace fs = std::filesystem;

namespace {

// The whole disk a block device belongs to ("/dev/sda2" -> "sda"); "" for
// anything else.
std::string DiskOf(const std::string& device) {
  if (device.rfind("/dev/", 0) != 0) return {};
  std::error_code ec;
  std::string name = fs::canonical(device, ec).filename().string();
  if (ec) return {};
  fs::path sys = fs::path("/sys/class/block") / name;
  if (!fs::exists(sys)) return {};
  if (fs::exists(sys / "partition")) return fs::canonical(sys, ec).parent_path().filename().string();
  return name;
}

std::string ProgramFolder() {
  std::error_code ec;
  return fs::canonical("/proc/self/exe", ec).parent_path().string();
}

}  // namespace

std::string SystemUseOf(const std::string& device) {
  const std::string disk = DiskOf(device);
  if (disk.empty()) return {};
  const std::string program = ProgramFolder();
  for (const auto& m : platform::ReadMountTable()) {
    if (DiskOf(m.source) != disk) continue;
    if (m.mountPoint == "/" || m.mountPoint == "/boot" || m.mountPoint == "/usr")
      return "the running system (" + m.mountPoint + ")";
    if (!program.empty() && (program == m.mountPoint || program.rfind(m.mountPoint + "/", 0) == 0))
      return "the program's own files (" + m.mountPoint + ")";
  }
  std::ifstream swaps("/proc/swaps");
  std::string line;
  std::getline(swaps, line);  // header
  while (std::getline(swaps, line)) {
    std::istringstream in(line);
    std::string source;
    if (in >> source && DiskOf(source) == disk) return "active swap (" + source + ")";
  }
  return {};
}

}  // namespace diskpart
