#pragma once
// A bounded reader of DER (the encoding of catalogs and signatures): one
// element at a time, definite lengths only, never reading past the bytes
// it was given. What OpenSSL does not parse for us (the trust list inside a
// catalog, the digest inside a signature's content) is read with it.

#include <cstdint>
#include <optional>
#include <string_view>

namespace drivers {

// DER tags we read.
inline constexpr std::uint8_t kDerInteger = 0x02;
inline constexpr std::uint8_t kDerOctetString = 0x04;
inline constexpr std::uint8_t kDerNull = 0x05;
inline constexpr std::uint8_t kDerOid = 0x06;
inline constexpr std::uint8_t kDerSequence = 0x30;
inline constexpr std::uint8_t kDerSet = 0x31;
inline constexpr std::uint8_t kDerContext0 = 0xA0;

struct DerElement {
  std::uint8_t tag = 0;      // the identifier octet (low-tag-number form only)
  std::string_view whole;    // tag, length and contents
  std::string_view content;  // the contents octets
};

class DerReader {
 public:
  explicit DerReader(std::string_view bytes) : rest_(bytes) {}
  bool AtEnd() const { return rest_.empty(); }
  // The next element, or nothing (and the reader stays put) when the bytes
  // left do not start with a whole element.
  std::optional<DerElement> Next();
  // The next element when it has this tag; nothing otherwise (not consumed).
  std::optional<DerElement> NextIf(std::uint8_t tag);

 private:
  std::string_view rest_;
};

// An object identifier's dotted text ("1.3.6.1.4.1.311.10.1"); empty for
// contents that are not a valid identifier.
std::string DottedOid(std::string_view content);

}  // namespace drivers
