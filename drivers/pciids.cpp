#include "drivers/pciids.h"

#include <cctype>
#include <charconv>

#include "platform/fs/readfile.h"

namespace drivers {
namespace {

constexpr std::size_t kIdDigits = 4;

// An ID of four hexadecimal digits at `at`, ended by white space or the line's end.
bool HexAt(std::string_view text, std::size_t at, std::uint16_t& value) {
  if (text.size() < at + kIdDigits) return false;
  const char* first = text.data() + at;
  for (std::size_t i = 0; i < kIdDigits; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(first[i]))) return false;
  if (text.size() > at + kIdDigits && text[at + kIdDigits] != ' ' && text[at + kIdDigits] != '\t') return false;
  std::from_chars(first, first + kIdDigits, value, 16);
  return true;
}

// The name after an ID: separated from it by white space, trimmed, bounded.
std::string NameAfter(std::string_view line, std::size_t at) {
  if (at >= line.size() || (line[at] != ' ' && line[at] != '\t')) return {};
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  std::string_view name = line.substr(at);
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.remove_suffix(1);
  std::string out(name.substr(0, kMaxPciNameChars));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

// Calls each(line) for every line, without its line end.
template <typename Each>
void ForEachLine(std::string_view text, Each each) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!each(line)) return;
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

PciIdDatabase PciIdDatabase::Load(const std::string& hostPath) {
  std::string bytes;
  if (platform::ReadHostFile(hostPath, bytes) != platform::ERROR_SUCCESS) bytes.clear();
  return PciIdDatabase(std::move(bytes));
}

PciNames PciIdDatabase::Names(const platform::PciFunction& f) const {
  PciNames names;
  bool inVendor = false;  // the lines below belong to f's vendor
  bool inDevice = false;  // ... and to f's device
  // A zero subsystem is none (the database's vendor 0000 is a real one).
  const bool hasSubsystem = f.subVendor != 0 && f.subVendor != 0xFFFF;
  ForEachLine(text_, [&](std::string_view line) {
    if (line.empty() || line[0] == '#') return true;
    std::uint16_t id = 0;
    if (line[0] != '\t') {
      inVendor = inDevice = false;
      // The class list ends the vendors.
      if (line.size() > 1 && line[0] == 'C' && line[1] == ' ') return false;
      if (!HexAt(line, 0, id)) return true;
      const std::string name = NameAfter(line, kIdDigits);
      if (id == f.vendor && names.vendor.empty()) names.vendor = name;
      if (hasSubsystem && id == f.subVendor && names.subVendor.empty()) names.subVendor = name;
      inVendor = id == f.vendor;
      return true;
    }
    if (line.size() > 1 && line[1] != '\t') {
      inDevice = inVendor && HexAt(line, 1, id) && id == f.device;
      if (inDevice && names.device.empty()) names.device = NameAfter(line, 1 + kIdDigits);
      return true;
    }
    std::uint16_t subDevice = 0;
    constexpr std::size_t kSubDeviceAt = 2 + kIdDigits + 1;
    if (hasSubsystem && inDevice && HexAt(line, 2, id) && HexAt(line, kSubDeviceAt, subDevice) &&
        id == f.subVendor && subDevice == f.subDevice && names.subsystem.empty())
      names.subsystem = NameAfter(line, kSubDeviceAt + kIdDigits);
    return true;
  });
  return names;
}

std::string PciIdDatabase::VendorName(std::uint16_t vendor) const {
  platform::PciFunction f;
  f.vendor = vendor;
  return Names(f).vendor;
}

}  // namespace drivers
