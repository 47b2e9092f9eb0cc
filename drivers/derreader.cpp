#include "drivers/derreader.h"

#include <string>

namespace drivers {
namespace {

constexpr std::uint8_t kHighTagNumber = 0x1F;
constexpr std::uint8_t kLongLength = 0x80;
// Lengths of up to four octets: no catalog we read comes near 4 GiB.
constexpr std::size_t kMaxLengthOctets = 4;
constexpr unsigned kOidFirstArcs = 40;
constexpr unsigned kOidLastFirstArc = 2;
constexpr unsigned kOidMaxArcBits = 56;

}  // namespace

std::optional<DerElement> DerReader::Next() {
  if (rest_.size() < 2) return std::nullopt;
  const auto tag = static_cast<std::uint8_t>(rest_[0]);
  if ((tag & kHighTagNumber) == kHighTagNumber) return std::nullopt;
  std::size_t at = 1;
  const auto first = static_cast<std::uint8_t>(rest_[at++]);
  std::size_t length = first;
  if (first & kLongLength) {
    const std::size_t octets = first & ~kLongLength;
    if (octets == 0 || octets > kMaxLengthOctets || rest_.size() - at < octets) return std::nullopt;
    length = 0;
    for (std::size_t i = 0; i < octets; ++i) length = (length << 8) | static_cast<std::uint8_t>(rest_[at++]);
  }
  if (rest_.size() - at < length) return std::nullopt;
  DerElement e;
  e.tag = tag;
  e.whole = rest_.substr(0, at + length);
  e.content = rest_.substr(at, length);
  rest_.remove_prefix(at + length);
  return e;
}

std::optional<DerElement> DerReader::NextIf(std::uint8_t tag) {
  if (rest_.empty() || static_cast<std::uint8_t>(rest_[0]) != tag) return std::nullopt;
  return Next();
}

std::string DottedOid(std::string_view content) {
  if (content.empty()) return {};
  std::string out;
  std::uint64_t arc = 0;
  unsigned bits = 0;
  bool first = true;
  for (std::size_t i = 0; i < content.size(); ++i) {
    const auto byte = static_cast<std::uint8_t>(content[i]);
    arc = (arc << 7) | (byte & 0x7F);
    bits += 7;
    if (bits > kOidMaxArcBits) return {};
    if (byte & 0x80) {
      if (i + 1 == content.size()) return {};
      continue;
    }
    if (first) {
      const std::uint64_t top = arc < kOidFirstArcs * kOidLastFirstArc ? arc / kOidFirstArcs : kOidLastFirstArc;
      out = std::to_string(top) + "." + std::to_string(arc - top * kOidFirstArcs);
      first = false;
    } else {
      out += "." + std::to_string(arc);
    }
    arc = 0;
    bits = 0;
  }
  return out;
}

}  // namespace drivers
