#pragma once
// PKCS#7 SignedData as catalogs and embedded driver signatures carry it:
// the content (a certificate trust list, or the indirect data holding a
// file's digest), the signer's certificate and the certificates to build
// its chain from. Verified offline: the signature over the content with the
// signer certificate it carries, and the chain as far as those
// certificates reach. Any bytes may be given; nothing is trusted until
// checked, and no input makes it crash or read out of bounds.

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
};

struct SignedData {
  SignedDataCode code = SignedDataCode::NotSignedData;
  std::string content;             // the content's DER element (tag, length, contents)
  std::string signer;              // the signer certificate's subject (RFC 2253)
  std::vector<std::string> chain;  // subjects from the signer upward, each link verified
  std::string root;                // where the chain ends: the top certificate's issuer
  bool rootAccepted = false;       // root is one of the accepted roots
  std::string detail;              // OpenSSL's reason, for BadSignature
  bool ok() const { return code == SignedDataCode::Ok; }
};

// Object identifiers of the contents we read.
inline constexpr const char* kOidTrustList = "1.3.6.1.4.1.311.10.1";
inline constexpr const char* kOidIndirectData = "1.3.6.1.4.1.311.2.1.4";

// der: the SignedData (trailing zero bytes, an embedded signature's
// padding, are allowed). contentOid: the content type it must hold.
SignedData VerifySignedData(std::string_view der, const char* contentOid, const TrustedRoots& roots);

}  // namespace drivers
