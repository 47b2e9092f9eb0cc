#include "tools/oscdimg/udfformat.h"

#include <array>
#include <cstring>

namespace oscdimg::udf {
namespace {

std::array<std::uint16_t, 256> CrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t c = static_cast<std::uint16_t>(i << 8);
    for (int k = 0; k < 8; ++k) c = static_cast<std::uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1);
    table[i] = c;
  }
  return table;
}

// UTF-8 to code points; false on a malformed sequence.
bool DecodeUtf8(const std::string& text, std::vector<char32_t>* out) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size() + (extra == 0)) return false;
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((cc >> 6) != 2) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp > 0x10FFFF) return false;
    out->push_back(cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

}  // namespace

void Put8(Block& b, std::size_t at, std::uint8_t v) { b.at(at) = v; }
void Put16(Block& b, std::size_t at, std::uint16_t v) {
  Put8(b, at, v & 0xFF);
  Put8(b, at + 1, v >> 8);
}
void Put32(Block& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void Put64(Block& b, std::size_t at, std::uint64_t v) {
  Put32(b, at, v & 0xFFFFFFFFu);
  Put32(b, at + 4, v >> 32);
}

std::uint16_t Crc(const std::uint8_t* data, std::size_t size) {
  static const std::array<std::uint16_t, 256> table = CrcTable();
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < size; ++i) crc = static_cast<std::uint16_t>((crc << 8) ^ table[((crc >> 8) ^ data[i]) & 0xFF]);
  return crc;
}

void FinishTag(Block& b, std::size_t at, TagId id, std::size_t length, std::uint32_t location) {
  Put16(b, at, id);
  Put16(b, at + 2, 2);
  Put8(b, at + 5, 0);
  Put16(b, at + 6, 1);
  const std::size_t body = length - 16;
  Put16(b, at + 8, Crc(b.data() + at + 16, body));
  Put16(b, at + 10, static_cast<std::uint16_t>(body));
  Put32(b, at + 12, location);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 16; ++i)
    if (i != 4) sum = static_cast<std::uint8_t>(sum + b[at + i]);
  Put8(b, at + 4, sum);
}

std::vector<std::uint8_t> CompressedUnicode(const std::string& utf8) {
  std::vector<char32_t> cps;
  if (!DecodeUtf8(utf8, &cps)) return {};
  bool narrow = true;
  for (char32_t c : cps) narrow = narrow && c < 0x100;
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(narrow ? 8 : 16)};
  for (char32_t c : cps) {
    if (narrow) {
      out.push_back(static_cast<std::uint8_t>(c));
      continue;
    }
    auto unit = [&](std::uint32_t u) {
      out.push_back(static_cast<std::uint8_t>(u >> 8));
      out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    };
    if (c >= 0x10000) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
  return out;
}

void PutDString(Block& b, std::size_t at, std::size_t size, const std::string& utf8) {
  std::vector<std::uint8_t> name = CompressedUnicode(utf8);
  if (name.size() <= 1) return;
  const std::size_t unit = name[0] == 8 ? 1 : 2;
  std::size_t used = name.size();
  while (used > size - 1) used -= unit;
  std::memcpy(b.data() + at, name.data(), used);
  Put8(b, at + size - 1, static_cast<std::uint8_t>(used));
}

void PutCharspec(Block& b, std::size_t at) {
  Put8(b, at, 0);
  const char* info = "OSTA Compressed Unicode";
  std::memcpy(b.data() + at + 1, info, std::strlen(info));
}

void PutRegid(Block& b, std::size_t at, const char* id, std::initializer_list<std::uint8_t> suffix) {
  Put8(b, at, 0);
  std::memcpy(b.data() + at + 1, id, std::min<std::size_t>(23, std::strlen(id)));
  std::size_t i = 0;
  for (std::uint8_t s : suffix) Put8(b, at + 24 + i++, s);
}

void PutDomain(Block& b, std::size_t at) {
  PutRegid(b, at, "*OSTA UDF Compliant", {kRevision & 0xFF, kRevision >> 8, 0});
}

void PutImplementation(Block& b, std::size_t at) { PutRegid(b, at, "*Kestrunex oscdimg", {}); }

void PutTime(Block& b, std::size_t at, std::time_t t) {
  std::tm tm{};
  gmtime_r(&t, &tm);
  Put16(b, at, 0x1000);  // local time, offset 0: UTC
  Put16(b, at + 2, static_cast<std::uint16_t>(tm.tm_year + 1900));
  Put8(b, at + 4, static_cast<std::uint8_t>(tm.tm_mon + 1));
  Put8(b, at + 5, static_cast<std::uint8_t>(tm.tm_mday));
  Put8(b, at + 6, static_cast<std::uint8_t>(tm.tm_hour));
  Put8(b, at + 7, static_cast<std::uint8_t>(tm.tm_min));
  Put8(b, at + 8, static_cast<std::uint8_t>(tm.tm_sec));
}

}  // namespace oscdimg::udf
