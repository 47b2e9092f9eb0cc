#pragma once
// PKCS#7 SignedData as catalogs and embedded driver signatures carry it:
// the content (a certificate trust list, or the indirect data holding a
// file's digest), the signer's certificate and the certificates to build
// its chain from. Verified offline: the signature over the content with the
// signer certificate it carries, then the chain by OpenSSL's verifier from
// the signer to a trusted root certificate or a listed cross-certificate
// (times not checked: Windows 7 keeps loading drivers signed while their
// certificates were valid), and the signer's extended key usage (code
// signing or Windows hardware driver verification). Any bytes may be
// given; nothing is trusted until checked, no input makes it crash or read
// out of bounds, and its cost stays linear in the input (at most
// kMaxDigestAlgorithms digest algorithms, kMaxSigners signers and
// kMaxCarriedCertificates certificates are looked at).
//
// SHA-1 signatures are verified with the process's default library
// context: a host whose crypto policy forbids SHA-1 signatures (not
// Debian's default) calls every Windows 7 chain unverifiable.

#include <string>
#include <string_view>
#include <vector>

#include "drivers/trustedroots.h"

namespace drivers {

enum class SignedDataCode {
  Ok,
  NotSignedData,  // not DER PKCS#7 SignedData
  WrongContent,   // signed data holding another kind of content
  NoSignature,    // no signer, or no certificate of the signer
  BadSignature,   // the signature does not verify over the content
  TooComplex,     // more digest algorithms, signers or certificates than a signature needs
};

// What the chain proves.
enum class Anchor {
  None,            // no chain up to an accepted key (root named in `root`)
  Root,            // a trusted root certificate
  CrossCertificate,  // a listed cross-certificate to the kernel's root
  WrongUsage,      // an accepted chain, but the signer is not for code signing
};

inline constexpr int kMaxDigestAlgorithms = 4;
inline constexpr int kMaxSigners = 4;
inline constexpr int kMaxCarriedCertificates = 64;

struct SignedData {
  SignedDataCode code = SignedDataCode::NotSignedData;
  std::string content;             // the content's DER element (tag, length, contents)
  std::string signer;              // the signer certificate's subject (RFC 2253)
  std::vector<std::string> chain;  // subjects from the signer upward, each link verified
  std::string root;                // where the chain ends: the top certificate's subject (or issuer, unverified)
  Anchor anchor = Anchor::None;
  bool sha1 = false;               // the signer's digest is SHA-1 (Windows 7 SP1 as shipped checks no other)
  std::string detail;              // OpenSSL's reason, for BadSignature and an unaccepted chain
  bool Accepted() const { return anchor == Anchor::Root || anchor == Anchor::CrossCertificate; }
  bool ok() const { return code == SignedDataCode::Ok; }
};

// Object identifiers of the contents we read.
inline constexpr const char* kOidTrustList = "1.3.6.1.4.1.311.10.1";
inline constexpr const char* kOidIndirectData = "1.3.6.1.4.1.311.2.1.4";

// der: the SignedData (trailing zero bytes, an embedded signature's
// padding, are allowed). contentOid: the content type it must hold.
SignedData VerifySignedData(std::string_view der, const char* contentOid, const TrustedRoots& roots);

}  // namespace drivers
