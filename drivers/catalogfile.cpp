#include "drivers/catalogfile.h"

#include "drivers/derreader.h"
#include "drivers/pefile.h"

namespace drivers {
namespace {

constexpr std::uint8_t kUtcTime = 0x17;
constexpr std::uint8_t kGeneralizedTime = 0x18;
constexpr std::size_t kSha1Size = 20;
constexpr std::size_t kSha256Size = 32;

bool DigestSize(std::size_t n) { return n == kSha1Size || n == kSha256Size; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hexadecimal text, one character every `step` bytes (1: ASCII, 2: UTF-16LE
// with zero high bytes); a trailing NUL character is allowed.
bool FromHex(std::string_view text, std::size_t step, std::string& out) {
  if (step == 2) {
    std::string narrow;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
      if (text[i + 1] != 0) return false;
      narrow += text[i];
    }
    if (text.size() % 2) return false;
    text = narrow;
    return FromHex(text, 1, out);
  }
  while (!text.empty() && text.back() == 0) text.remove_suffix(1);
  if (text.size() % 2 || !DigestSize(text.size() / 2)) return false;
  out.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = HexValue(text[i]);
    const int lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

}  // namespace

// SpcIndirectDataContent ::= SEQUENCE { data SEQUENCE, messageDigest DigestInfo }
// DigestInfo ::= SEQUENCE { digestAlgorithm SEQUENCE, digest OCTET STRING }
void ReadIndirectDigest(std::string_view value, std::set<std::string>& digests) {
  DerReader outer(value);
  const auto content = outer.NextIf(kDerSequence);
  if (!content) return;
  DerReader fields(content->content);
  if (!fields.NextIf(kDerSequence)) return;
  const auto info = fields.NextIf(kDerSequence);
  if (!info) return;
  DerReader parts(info->content);
  if (!parts.NextIf(kDerSequence)) return;
  const auto digest = parts.NextIf(kDerOctetString);
  if (digest && DigestSize(digest->content.size())) digests.insert(std::string(digest->content));
}

namespace {

// TrustedSubject ::= SEQUENCE { identifier OCTET STRING, attributes SET OF Attribute OPTIONAL }
// Attribute ::= SEQUENCE { type OID, values SET OF ANY }
void ReadMember(std::string_view subject, std::set<std::string>& digests) {
  DerReader fields(subject);
  const auto id = fields.NextIf(kDerOctetString);
  if (!id) return;
  std::string digest;
  if (FromHex(id->content, 2, digest) || FromHex(id->content, 1, digest)) {
    digests.insert(digest);
  } else if (DigestSize(id->content.size())) {
    digests.insert(std::string(id->content));
  }
  const auto attributes = fields.NextIf(kDerSet);
  if (!attributes) return;
  DerReader each(attributes->content);
  while (const auto attribute = each.NextIf(kDerSequence)) {
    DerReader parts(attribute->content);
    const auto type = parts.NextIf(kDerOid);
    const auto values = parts.NextIf(kDerSet);
    if (!type || !values || DottedOid(type->content) != kOidIndirectData) continue;
    DerReader value(values->content);
    while (const auto v = value.Next()) ReadIndirectDigest(v->whole, digests);
  }
}

}  // namespace

// CertificateTrustList ::= SEQUENCE {
//   version INTEGER OPTIONAL, subjectUsage SEQUENCE, listIdentifier OCTET STRING OPTIONAL,
//   sequenceNumber INTEGER OPTIONAL, thisUpdate Time, nextUpdate Time OPTIONAL,
//   subjectAlgorithm SEQUENCE, trustedSubjects SEQUENCE OF TrustedSubject OPTIONAL,
//   extensions [0] OPTIONAL }
bool ReadTrustList(std::string_view der, std::set<std::string>& digests) {
  DerReader outer(der);
  const auto list = outer.NextIf(kDerSequence);
  if (!list || !outer.AtEnd()) return false;
  DerReader fields(list->content);
  fields.NextIf(kDerInteger);
  if (!fields.NextIf(kDerSequence)) return false;
  fields.NextIf(kDerOctetString);
  fields.NextIf(kDerInteger);
  if (!fields.NextIf(kUtcTime) && !fields.NextIf(kGeneralizedTime)) return false;
  if (!fields.NextIf(kUtcTime)) fields.NextIf(kGeneralizedTime);
  if (!fields.NextIf(kDerSequence)) return false;
  const auto subjects = fields.NextIf(kDerSequence);
  if (!subjects) return true;
  DerReader each(subjects->content);
  std::size_t count = 0;
  while (const auto subject = each.NextIf(kDerSequence)) {
    if (++count > kMaxCatalogMembers) return false;
    ReadMember(subject->content, digests);
  }
  return each.AtEnd();
}

Catalog ReadCatalog(std::string_view bytes, const TrustedRoots& roots) {
  Catalog out;
  if (bytes.size() > kCatalogLimit) return out;
  out.signature = VerifySignedData(bytes, kOidTrustList, roots);
  switch (out.signature.code) {
    case SignedDataCode::NotSignedData:
    case SignedDataCode::WrongContent:
    case SignedDataCode::TooComplex: return out;
    case SignedDataCode::NoSignature:
    case SignedDataCode::BadSignature:
    case SignedDataCode::Ok: break;
  }
  if (!ReadTrustList(out.signature.content, out.digests)) {
    out.digests.clear();
    return out;
  }
  out.code = out.signature.ok() ? CatalogCode::Ok : CatalogCode::BadSignature;
  return out;
}

bool Catalog::Holds(std::string_view fileBytes) const {
  if (digests.empty()) return false;
  for (DigestKind kind : {DigestKind::Sha1, DigestKind::Sha256})
    if (digests.count(FileDigest(fileBytes, kind))) return true;
  return false;
}

}  // namespace drivers
