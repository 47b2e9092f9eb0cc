#pragma once
// A driver package's catalog (.cat): PKCS#7 SignedData whose content is a
// certificate trust list naming each member file by its digest. A member's
// digest is its subject identifier (raw, or as hexadecimal text in UTF-16
// or ASCII, the usual form) and/or the digest of its indirect-data
// attribute. SHA-1 and SHA-256 catalogs are read alike: a file is a member
// when its digest of either kind is among the members'.

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "drivers/signeddata.h"

namespace drivers {

// Far above any real catalog (the largest driver catalogs hold a few MiB).
inline constexpr std::size_t kCatalogLimit = 32u << 20;
// Members and attributes read from one catalog.
inline constexpr std::size_t kMaxCatalogMembers = 200000;

enum class CatalogCode { Ok, NotCatalog, BadSignature };

struct Catalog {
  CatalogCode code = CatalogCode::NotCatalog;
  SignedData signature;            // signer, chain and root (for Ok)
  std::set<std::string> digests;   // raw digests of the members (20 or 32 bytes)
  bool ok() const { return code == CatalogCode::Ok; }
  // Whether a file's bytes are a member (its Authenticode digest for a PE
  // image, its plain digest otherwise).
  bool Holds(std::string_view fileBytes) const;
};

// Reads and verifies a catalog (any bytes; more than kCatalogLimit is no catalog).
Catalog ReadCatalog(std::string_view bytes, const TrustedRoots& roots);

// The member digests of a trust list's DER; false when it is not one.
bool ReadTrustList(std::string_view der, std::set<std::string>& digests);

// The digest of SpcIndirectDataContent's DER (the content of an embedded
// signature, a catalog member's attribute), added to digests when present.
void ReadIndirectDigest(std::string_view element, std::set<std::string>& digests);

}  // namespace drivers
