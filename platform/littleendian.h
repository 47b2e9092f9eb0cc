#pragma once
// Numbers stored little-endian in on-disk structures (partition tables, WIM
// and PE headers, bitmaps), read byte by byte: no alignment or host byte
// order assumed. The caller has checked that the bytes are there.

#include <cstddef>
#include <cstdint>

namespace platform {

// The first `bytes` bytes (at most 8) at p as one little-endian number.
inline std::uint64_t ReadLittleEndian(const void* p, std::size_t bytes) {
  const auto* b = static_cast<const unsigned char*>(p);
  std::uint64_t value = 0;
  for (std::size_t i = bytes; i > 0; --i) value = value << 8 | b[i - 1];
  return value;
}
inline std::uint16_t ReadLe16(const void* p) { return static_cast<std::uint16_t>(ReadLittleEndian(p, 2)); }
inline std::uint32_t ReadLe32(const void* p) { return static_cast<std::uint32_t>(ReadLittleEndian(p, 4)); }
inline std::uint64_t ReadLe64(const void* p) { return ReadLittleEndian(p, 8); }

}  // namespace platform
