#include "drivers/lspcilisting.h"

#include <cctype>
#include <charconv>
#include <optional>

#include "platform/fs/readfile.h"

namespace drivers {
namespace {

using platform::PciFunction;

constexpr std::size_t kIdDigits = 4;
constexpr std::size_t kByteDigits = 2;
constexpr std::size_t kMaxSlotChars = 32;

bool AllHex(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// Exactly digits hexadecimal digits.
std::optional<std::uint32_t> Hex(std::string_view s, std::size_t digits) {
  if (s.size() != digits || !AllHex(s)) return std::nullopt;
  std::uint32_t value = 0;
  std::from_chars(s.data(), s.data() + s.size(), value, 16);
  return value;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// "00:14.0", "0000:00:14.0": hexadecimal digits, one '.', at least one ':'.
bool IsSlot(std::string_view s) {
  if (s.empty() || s.size() > kMaxSlotChars || s.find('.') == std::string_view::npos ||
      s.find(':') == std::string_view::npos)
    return false;
  for (char c : s)
    if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
  return true;
}

// The ID of a -vmm value: "Intel Corporation [8086]" (with -nn) or "8086" (-n).
std::optional<std::uint32_t> ValueId(std::string_view value, std::size_t digits) {
  value = Trim(value);
  if (!value.empty() && value.back() == ']') {
    const std::size_t open = value.rfind('[');
    if (open == std::string_view::npos) return std::nullopt;
    return Hex(value.substr(open + 1, value.size() - open - 2), digits);
  }
  return Hex(value, digits);
}

// The last "[vvvv:dddd]" of a -nnv line, and where it starts.
bool LastIdPair(std::string_view line, std::uint32_t& first, std::uint32_t& second, std::size_t& at) {
  constexpr std::size_t kPairChars = 2 * kIdDigits + 3;  // "[8086:9d2f]"
  for (std::size_t close = line.rfind(']'); close != std::string_view::npos && close + 1 >= kPairChars;
       close = close == 0 ? std::string_view::npos : line.rfind(']', close - 1)) {
    const std::size_t open = close + 1 - kPairChars;
    if (line[open] != '[' || line[open + 1 + kIdDigits] != ':') continue;
    const auto a = Hex(line.substr(open + 1, kIdDigits), kIdDigits);
    const auto b = Hex(line.substr(open + 2 + kIdDigits, kIdDigits), kIdDigits);
    if (!a || !b) continue;
    first = *a;
    second = *b;
    at = open;
    return true;
  }
  return false;
}

// "(rev 21)", "(prog-if 30 [XHCI])": the byte after the tag, when there is one.
std::uint32_t TaggedByte(std::string_view text, std::string_view tag) {
  const std::size_t at = text.find(tag);
  if (at == std::string_view::npos) return 0;
  return Hex(text.substr(at + tag.size(), kByteDigits), kByteDigits).value_or(0);
}

bool IsVmmKey(std::string_view key) {
  for (std::string_view known : {"Slot", "Class", "Vendor", "Device", "SVendor", "SDevice", "Rev", "ProgIf"})
    if (key == known) return true;
  return false;
}

struct Record {
  PciFunction f;
  bool hasClass = false, hasVendor = false, hasDevice = false;
  std::uint32_t baseClass = 0;  // class and subclass, without the interface
  std::uint32_t progIf = 0;
};

class Reader {
 public:
  void Line(std::string_view line) {
    if (line.size() > kMaxLspciLineChars) return;
    if (Trim(line).empty()) return Flush();
    if (line[0] == '\t' || line[0] == ' ') return Indented(Trim(line));
    // -vmm: "Key:<TAB>value" ("Slot:" starts a record); pasted from a
    // terminal the tab may have become spaces.
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && IsVmmKey(line.substr(0, colon))) {
      const std::string_view key = line.substr(0, colon);
      const std::string_view value = Trim(line.substr(colon + 1));
      if (key == "Slot") {
        Flush();
        open_ = IsSlot(value);
        if (open_) record_.f.slot = std::string(value);
      } else if (open_ && !nnv_) {
        Field(key, value);
      }
      return;
    }
    Header(line);
  }

  std::vector<PciFunction> Finish() {
    Flush();
    return std::move(out_);
  }

 private:
  // -vmm fields.
  void Field(std::string_view key, std::string_view value) {
    Record& r = record_;
    if (key == "Class") {
      if (const auto v = ValueId(value, kIdDigits)) r.baseClass = *v, r.hasClass = true;
    } else if (key == "Vendor") {
      if (const auto v = ValueId(value, kIdDigits)) r.f.vendor = static_cast<std::uint16_t>(*v), r.hasVendor = true;
    } else if (key == "Device") {
      if (const auto v = ValueId(value, kIdDigits)) r.f.device = static_cast<std::uint16_t>(*v), r.hasDevice = true;
    } else if (key == "SVendor") {
      r.f.subVendor = static_cast<std::uint16_t>(ValueId(value, kIdDigits).value_or(0));
    } else if (key == "SDevice") {
      r.f.subDevice = static_cast<std::uint16_t>(ValueId(value, kIdDigits).value_or(0));
    } else if (key == "Rev") {
      r.f.revision = static_cast<std::uint8_t>(Hex(Trim(value), kByteDigits).value_or(0));
    } else if (key == "ProgIf") {
      r.progIf = Hex(Trim(value), kByteDigits).value_or(0);
    }
  }

  // -nnv: "00:14.0 USB controller [0c03]: Intel ... [8086:9d2f] (rev 21) (prog-if 30 [XHCI])"
  void Header(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || !IsSlot(line.substr(0, space))) return;
    Flush();
    const std::size_t classEnd = line.find("]: ", space);
    if (classEnd == std::string_view::npos || classEnd < space + 1 + kIdDigits + 1) return;
    const auto cls = Hex(line.substr(classEnd - kIdDigits, kIdDigits), kIdDigits);
    if (!cls || line[classEnd - kIdDigits - 1] != '[') return;
    const std::string_view rest = line.substr(classEnd + 3);
    std::uint32_t vendor = 0, device = 0;
    std::size_t at = 0;
    if (!LastIdPair(rest, vendor, device, at)) return;
    Record& r = record_;
    r.f.slot = std::string(line.substr(0, space));
    r.baseClass = *cls;
    r.f.vendor = static_cast<std::uint16_t>(vendor);
    r.f.device = static_cast<std::uint16_t>(device);
    r.hasClass = r.hasVendor = r.hasDevice = true;
    r.f.revision = static_cast<std::uint8_t>(TaggedByte(rest.substr(at), "(rev "));
    r.progIf = TaggedByte(rest.substr(at), "(prog-if ");
    open_ = true;
    nnv_ = true;
  }

  void Indented(std::string_view line) {
    constexpr std::string_view kSubsystem = "Subsystem:";
    if (!open_ || !nnv_ || line.substr(0, kSubsystem.size()) != kSubsystem) return;
    std::uint32_t vendor = 0, device = 0;
    std::size_t at = 0;
    if (!LastIdPair(line, vendor, device, at)) return;
    record_.f.subVendor = static_cast<std::uint16_t>(vendor);
    record_.f.subDevice = static_cast<std::uint16_t>(device);
  }

  void Flush() {
    Record& r = record_;
    if (open_ && r.hasClass && r.hasVendor && r.hasDevice && out_.size() < kMaxLspciFunctions) {
      r.f.classCode = r.baseClass << 8 | r.progIf;
      out_.push_back(r.f);
    }
    record_ = Record();
    open_ = nnv_ = false;
  }

  Record record_;
  bool open_ = false;
  bool nnv_ = false;
  std::vector<PciFunction> out_;
};

}  // namespace

std::vector<PciFunction> ParseLspciListing(std::string_view text) {
  Reader reader;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    reader.Line(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return reader.Finish();
}

platform::DWORD ReadLspciListing(const std::string& hostPath, std::vector<PciFunction>& functions) {
  functions.clear();
  std::string bytes;
  const platform::DWORD error = platform::ReadHostFile(hostPath, bytes, kMaxLspciFileBytes);
  if (error == platform::ERROR_SUCCESS) functions = ParseLspciListing(bytes);
  return error;
}

}  // namespace drivers
