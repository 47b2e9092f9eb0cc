#pragma once
// Portable executables (.sys, .dll, .exe) as driver signatures see them:
// the Authenticode digest (the whole file except the checksum field, the
// certificate table's directory entry and the certificate table itself)
// and the signature embedded in the certificate table. Catalogs hold that
// digest for PE files, the digest of the whole file for every other file.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace drivers {

enum class DigestKind { Sha1, Sha256 };

struct PeLayout {
  std::size_t checksumAt = 0;  // offset of the optional header's CheckSum
  std::size_t certEntryAt = 0; // offset of the certificate table's directory entry
  std::size_t certAt = 0;      // the certificate table (its file offset), 0 when none
  std::size_t certSize = 0;
};

// The layout of a PE image (PE32 or PE32+); nothing for other bytes. A
// certificate table that lies outside the file counts as none.
std::optional<PeLayout> ReadPeLayout(std::string_view bytes);

// The digest a catalog holds for a file: Authenticode for a PE image, the
// plain digest otherwise. Raw digest bytes.
std::string FileDigest(std::string_view bytes, DigestKind kind);
std::string PlainDigest(std::string_view bytes, DigestKind kind);
std::string AuthenticodeDigest(std::string_view bytes, const PeLayout& layout, DigestKind kind);

// The PKCS#7 signature of the first certificate of the table (a
// WIN_CERTIFICATE of type PKCS#7 SignedData); empty when there is none.
std::string_view EmbeddedSignature(std::string_view bytes, const PeLayout& layout);

}  // namespace drivers
