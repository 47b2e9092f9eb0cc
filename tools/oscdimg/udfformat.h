#pragma once
// The byte formats of UDF 1.02 (ECMA-167 3rd edition as profiled by OSTA):
// little-endian fields, descriptor tags with their checksum and CRC,
// OSTA compressed Unicode names and d-strings, entity identifiers and
// timestamps. Every writer takes a block buffer and an offset in it.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace oscdimg::udf {

inline constexpr std::uint32_t kBlock = 2048;
inline constexpr std::uint16_t kRevision = 0x0102;

// Descriptor tag identifiers.
enum TagId : std::uint16_t {
  kPrimaryVolume = 1,
  kAnchor = 2,
  kImplementationUse = 4,
  kPartition = 5,
  kLogicalVolume = 6,
  kUnallocatedSpace = 7,
  kTerminating = 8,
  kIntegrity = 9,
  kFileSet = 256,
  kFileIdentifier = 257,
  kFileEntry = 261,
};

using Block = std::vector<std::uint8_t>;

void Put8(Block& b, std::size_t at, std::uint8_t v);
void Put16(Block& b, std::size_t at, std::uint16_t v);
void Put32(Block& b, std::size_t at, std::uint32_t v);
void Put64(Block& b, std::size_t at, std::uint64_t v);

// CRC-CCITT (polynomial 0x1021, initial 0) as descriptor tags use it.
std::uint16_t Crc(const std::uint8_t* data, std::size_t size);

// Fills the 16-byte tag at `at` for a descriptor of `length` bytes (tag
// included) recorded at logical block `location`: identifier, version 2,
// serial 1, CRC over the body, then the tag checksum.
void FinishTag(Block& b, std::size_t at, TagId id, std::size_t length, std::uint32_t location);

// A name in OSTA compressed Unicode: compression id 8 when every character
// fits a byte, else 16 (UTF-16 big-endian). Empty when the UTF-8 name is
// not valid; the caller checks the length limits.
std::vector<std::uint8_t> CompressedUnicode(const std::string& utf8);

// A d-string field of `size` bytes (the name cut to fit, length last).
void PutDString(Block& b, std::size_t at, std::size_t size, const std::string& utf8);
// The character set of every descriptor: "OSTA Compressed Unicode".
void PutCharspec(Block& b, std::size_t at);
// An entity identifier; suffix bytes as given (at most 8).
void PutRegid(Block& b, std::size_t at, const char* id, std::initializer_list<std::uint8_t> suffix);
// The domain identifier "*OSTA UDF Compliant" for UDF 1.02.
void PutDomain(Block& b, std::size_t at);
// This tool as the implementation.
void PutImplementation(Block& b, std::size_t at);
// A timestamp in UTC.
void PutTime(Block& b, std::size_t at, std::time_t t);

}  // namespace oscdimg::udf
