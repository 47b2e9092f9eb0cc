#include "drivers/signeddata.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "drivers/derreader.h"

namespace drivers {
namespace {

// A chain longer than this is no chain a signature needs.
constexpr std::size_t kMaxChain = 8;
// Certificates tried as issuers, in all: bounds the search over a hostile
// set of certificates with the same names.
constexpr int kMaxIssuerTries = 512;
constexpr std::size_t kOidText = 128;

struct Pkcs7Free { void operator()(PKCS7* p) const { PKCS7_free(p); } };
struct BioFree { void operator()(BIO* b) const { BIO_free(b); } };
struct StoreFree { void operator()(X509_STORE* s) const { X509_STORE_free(s); } };
struct SignersFree { void operator()(STACK_OF(X509)* s) const { sk_X509_free(s); } };

std::string NameText(const X509_NAME* name) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (!bio || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253) < 0) return {};
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

std::string OpenSslReason() {
  const unsigned long e = ERR_get_error();
  char text[256] = {};
  if (e) ERR_error_string_n(e, text, sizeof text);
  ERR_clear_error();
  return text;
}

bool Issued(X509* issuer, X509* subject) {
  if (X509_check_issued(issuer, subject) != X509_V_OK) return false;
  EVP_PKEY* key = X509_get0_pubkey(issuer);
  return key && X509_verify(subject, key) == 1;
}

// The chains from cert upward through certs: depth first, an accepted root
// ends the search; otherwise the longest chain found is kept.
class ChainSearch {
 public:
  ChainSearch(STACK_OF(X509)* certs, const TrustedRoots& roots) : certs_(certs), roots_(roots) {}

  void From(X509* cert) {
    path_.push_back(cert);
    const bool selfSigned = Issued(cert, cert);
    const std::string root = NameText(X509_get_issuer_name(cert));
    if (roots_.Accepts(root)) {
      Keep(root, true);
    } else {
      if (best_.empty() || path_.size() > best_.size()) Keep(root, false);
      const int count = certs_ ? sk_X509_num(certs_) : 0;
      for (int i = 0; i < count && !accepted_ && !selfSigned && path_.size() < kMaxChain; ++i) {
        X509* candidate = sk_X509_value(certs_, i);
        if (std::find(path_.begin(), path_.end(), candidate) != path_.end()) continue;
        if (++tries_ > kMaxIssuerTries) break;
        if (Issued(candidate, cert)) From(candidate);
      }
    }
    path_.pop_back();
  }

  void Fill(SignedData& out) const {
    for (X509* c : best_) out.chain.push_back(NameText(X509_get_subject_name(c)));
    out.root = root_;
    out.rootAccepted = accepted_;
  }

 private:
  void Keep(const std::string& root, bool accepted) {
    best_ = path_;
    root_ = root;
    accepted_ = accepted;
  }

  STACK_OF(X509)* certs_;
  const TrustedRoots& roots_;
  std::vector<X509*> path_;
  std::vector<X509*> best_;
  std::string root_;
  bool accepted_ = false;
  int tries_ = 0;
};

// The bytes the signature's digest covers: the contents octets of the
// content (PKCS#7 signs a SEQUENCE's contents; CMS-style encoders wrap the
// content in an OCTET STRING, whose octets are the content itself).
bool ContentOf(const ASN1_TYPE* other, std::string& element, std::string& signedBytes) {
  if (!other) return false;
  if (other->type == V_ASN1_SEQUENCE && other->value.sequence) {
    const ASN1_STRING* s = other->value.sequence;
    element.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)), static_cast<std::size_t>(ASN1_STRING_length(s)));
    DerReader reader(element);
    const auto e = reader.NextIf(kDerSequence);
    if (!e || !reader.AtEnd()) return false;
    signedBytes = std::string(e->content);
    return true;
  }
  if (other->type == V_ASN1_OCTET_STRING && other->value.octet_string) {
    const ASN1_STRING* s = other->value.octet_string;
    element.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)), static_cast<std::size_t>(ASN1_STRING_length(s)));
    signedBytes = element;
    return true;
  }
  return false;
}

}  // namespace

SignedData VerifySignedData(std::string_view der, const char* contentOid, const TrustedRoots& roots) {
  SignedData out;
  ERR_clear_error();
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) return out;
  const auto* start = reinterpret_cast<const unsigned char*>(der.data());
  const unsigned char* p = start;
  std::unique_ptr<PKCS7, Pkcs7Free> p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  if (!p7) {
    ERR_clear_error();
    return out;
  }
  const std::string_view rest = der.substr(static_cast<std::size_t>(p - start));
  if (std::any_of(rest.begin(), rest.end(), [](char c) { return c != 0; })) return out;
  if (!PKCS7_type_is_signed(p7.get()) || !p7->d.sign || !p7->d.sign->contents) return out;

  out.code = SignedDataCode::WrongContent;
  PKCS7* inner = p7->d.sign->contents;
  char oid[kOidText] = {};
  if (!inner->type || OBJ_obj2txt(oid, sizeof oid, inner->type, 1) <= 0 || std::string(oid) != contentOid) return out;
  std::string signedBytes;
  if (!ContentOf(inner->d.other, out.content, signedBytes)) return out;

  out.code = SignedDataCode::NoSignature;
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7.get());
  if (!infos || sk_PKCS7_SIGNER_INFO_num(infos) == 0) return out;
  std::unique_ptr<STACK_OF(X509), SignersFree> signers(PKCS7_get0_signers(p7.get(), nullptr, 0));
  if (!signers || sk_X509_num(signers.get()) == 0) {
    ERR_clear_error();
    return out;
  }
  X509* signer = sk_X509_value(signers.get(), 0);
  out.signer = NameText(X509_get_subject_name(signer));

  // Every digest the signed data names must be one this library has: on
  // any other, PKCS7_verify (OpenSSL 3.0) fails after it has copied the data
  // into a buffer of its own and never frees that copy.
  const STACK_OF(X509_ALGOR)* digests = p7->d.sign->md_algs;
  for (int i = 0; i < sk_X509_ALGOR_num(digests); ++i) {
    const X509_ALGOR* digest = sk_X509_ALGOR_value(digests, i);
    if (!digest || !digest->algorithm || !EVP_get_digestbyobj(digest->algorithm)) {
      out.code = SignedDataCode::BadSignature;
      out.detail = "unknown digest algorithm";
      return out;
    }
  }
  std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
  std::unique_ptr<BIO, BioFree> data(BIO_new_mem_buf(signedBytes.data(), static_cast<int>(signedBytes.size())));
  // The chain is built below from the carried certificates alone: the
  // system's store knows nothing of code-signing roots.
  if (!store || !data || PKCS7_verify(p7.get(), nullptr, store.get(), data.get(), nullptr, PKCS7_NOVERIFY) != 1) {
    out.code = SignedDataCode::BadSignature;
    out.detail = OpenSslReason();
    return out;
  }
  ERR_clear_error();
  out.code = SignedDataCode::Ok;
  ChainSearch search(p7->d.sign->cert, roots);
  search.From(signer);
  search.Fill(out);
  return out;
}

}  // namespace drivers
