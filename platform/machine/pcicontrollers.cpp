#include "platform/machine/pcicontrollers.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>

#include "platform/fs/readfile.h"

namespace platform {
namespace {

// sysfs reports every attribute as a page-sized file.
constexpr std::size_t kAttributeLimit = 4096;
// Far above any machine's count of PCI functions: a bound on the walk.
constexpr std::size_t kMaxFunctions = 4096;
constexpr std::size_t kMaxSlotChars = 32;

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

bool IsSlotName(const std::string& name) {
  if (name.empty() || name.size() > kMaxSlotChars || name[0] == '.') return false;
  return std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return std::isxdigit(c) || c == ':' || c == '.';
  });
}

// "0x0c0330\n" -> 0x0C0330; false for anything else or a value above max.
bool ReadHexAttribute(const std::string& folder, const char* name, std::uint32_t max, std::uint32_t& value) {
  std::string bytes;
  if (ReadHostFile(folder + "/" + name, bytes, kAttributeLimit) != ERROR_SUCCESS) return false;
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == ' ')) bytes.pop_back();
  if (bytes.size() < 3 || bytes[0] != '0' || (bytes[1] != 'x' && bytes[1] != 'X')) return false;
  const char* first = bytes.data() + 2;
  const char* last = bytes.data() + bytes.size();
  std::uint64_t parsed = 0;
  const auto [end, ec] = std::from_chars(first, last, parsed, 16);
  if (ec != std::errc() || end != last || parsed > max) return false;
  value = static_cast<std::uint32_t>(parsed);
  return true;
}

bool IsWanted(std::uint32_t cls, bool storageToo) {
  return (cls >> 8) == kUsbControllerClass || (storageToo && (cls >> 16) == kMassStorageClass);
}

std::vector<PciFunction> ReadControllers(const std::string& devicesFolder, bool storageToo) {
  std::vector<PciFunction> out;
  std::unique_ptr<DIR, DirCloser> dir(::opendir(devicesFolder.c_str()));
  if (!dir) return out;
  std::size_t seen = 0;
  while (const dirent* e = ::readdir(dir.get())) {
    const std::string name = e->d_name;
    if (!IsSlotName(name) || ++seen > kMaxFunctions) continue;
    const std::string folder = devicesFolder + "/" + name;
    std::uint32_t cls = 0, vendor = 0, device = 0, subVendor = 0, subDevice = 0, revision = 0;
    if (!ReadHexAttribute(folder, "class", 0xFFFFFF, cls) || !IsWanted(cls, storageToo)) continue;
    if (!ReadHexAttribute(folder, "vendor", 0xFFFF, vendor) || !ReadHexAttribute(folder, "device", 0xFFFF, device))
      continue;
    // Old kernels lack the subsystem or revision files: read as 0.
    ReadHexAttribute(folder, "subsystem_vendor", 0xFFFF, subVendor);
    ReadHexAttribute(folder, "subsystem_device", 0xFFFF, subDevice);
    ReadHexAttribute(folder, "revision", 0xFF, revision);
    PciFunction f;
    f.slot = name;
    f.vendor = static_cast<std::uint16_t>(vendor);
    f.device = static_cast<std::uint16_t>(device);
    f.subVendor = static_cast<std::uint16_t>(subVendor);
    f.subDevice = static_cast<std::uint16_t>(subDevice);
    f.revision = static_cast<std::uint8_t>(revision);
    f.classCode = cls;
    out.push_back(std::move(f));
  }
  std::sort(out.begin(), out.end(), [](const PciFunction& a, const PciFunction& b) { return a.slot < b.slot; });
  return out;
}

}  // namespace

std::vector<PciFunction> ReadUsbControllers(const std::string& devicesFolder) {
  return ReadControllers(devicesFolder, false);
}

std::vector<PciFunction> ReadPciControllers(const std::string& devicesFolder) {
  return ReadControllers(devicesFolder, true);
}

}  // namespace platform
