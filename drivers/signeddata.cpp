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
constexpr int kMaxChainDepth = 8;
constexpr std::size_t kOidText = 128;
constexpr const char* kOidCodeSigning = "1.3.6.1.5.5.7.3.3";
constexpr const char* kOidDriverVerification = "1.3.6.1.4.1.311.10.3.5";

struct Pkcs7Free { void operator()(PKCS7* p) const { PKCS7_free(p); } };
struct BioFree { void operator()(BIO* b) const { BIO_free(b); } };
struct StoreFree { void operator()(X509_STORE* s) const { X509_STORE_free(s); } };
struct StoreCtxFree { void operator()(X509_STORE_CTX* c) const { X509_STORE_CTX_free(c); } };
struct SignersFree { void operator()(STACK_OF(X509)* s) const { sk_X509_free(s); } };
struct ChainFree { void operator()(STACK_OF(X509)* s) const { sk_X509_pop_free(s, X509_free); } };
struct UsageFree { void operator()(EXTENDED_KEY_USAGE* u) const { EXTENDED_KEY_USAGE_free(u); } };

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

std::string Der(X509* cert) {
  unsigned char* der = nullptr;
  const int n = i2d_X509(cert, &der);
  std::string out = n > 0 ? std::string(reinterpret_cast<const char*>(der), static_cast<std::size_t>(n)) : std::string();
  OPENSSL_free(der);
  return out;
}

// Whether the signer may sign code: its extended key usage names code
// signing or Windows hardware driver verification. No such extension is
// no such usage.
bool CodeSigner(X509* signer) {
  std::unique_ptr<EXTENDED_KEY_USAGE, UsageFree> usage(
      static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(signer, NID_ext_key_usage, nullptr, nullptr)));
  if (!usage) return false;
  for (int i = 0; i < sk_ASN1_OBJECT_num(usage.get()); ++i) {
    char oid[kOidText] = {};
    if (OBJ_obj2txt(oid, sizeof oid, sk_ASN1_OBJECT_value(usage.get(), i), 1) <= 0) continue;
    if (std::string(oid) == kOidCodeSigning || std::string(oid) == kOidDriverVerification) return true;
  }
  return false;
}

// The chain from the signer to a trusted root certificate or a listed
// cross-certificate among the carried ones, by OpenSSL's verifier; the
// carried certificates are candidates only.
void VerifyChain(X509* signer, STACK_OF(X509)* carried, const TrustedRoots& roots, SignedData& out) {
  out.root = NameText(X509_get_issuer_name(signer));
  std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
  std::unique_ptr<X509_STORE_CTX, StoreCtxFree> ctx(X509_STORE_CTX_new());
  if (!store || !ctx) return;
  for (const auto& root : roots.Roots()) X509_STORE_add_cert(store.get(), root.get());
  std::vector<std::string> crossDers;
  for (int i = 0; carried && i < sk_X509_num(carried); ++i) {
    X509* cert = sk_X509_value(carried, i);
    const std::string der = Der(cert);
    if (roots.ListedCrossCertificate(der)) {
      X509_STORE_add_cert(store.get(), cert);
      crossDers.push_back(der);
    }
  }
  ERR_clear_error();
  if (X509_STORE_CTX_init(ctx.get(), store.get(), signer, carried) != 1) return;
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
  // Listed cross-certificates are not self-signed: a chain may end there.
  X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_NO_CHECK_TIME | X509_V_FLAG_PARTIAL_CHAIN);
  X509_VERIFY_PARAM_set_depth(param, kMaxChainDepth);
  X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_ANY);
  const bool verified = X509_verify_cert(ctx.get()) == 1;
  std::unique_ptr<STACK_OF(X509), ChainFree> chain(X509_STORE_CTX_get1_chain(ctx.get()));
  for (int i = 0; chain && i < sk_X509_num(chain.get()); ++i)
    out.chain.push_back(NameText(X509_get_subject_name(sk_X509_value(chain.get(), i))));
  const int count = chain ? sk_X509_num(chain.get()) : 0;
  if (count > 0) {
    X509* top = sk_X509_value(chain.get(), count - 1);
    out.root = NameText(verified ? X509_get_subject_name(top) : X509_get_issuer_name(top));
  }
  if (!verified) {
    out.detail = X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get()));
    ERR_clear_error();
    return;
  }
  const std::string topDer = Der(sk_X509_value(chain.get(), count - 1));
  const bool cross = std::find(crossDers.begin(), crossDers.end(), topDer) != crossDers.end();
  out.anchor = !CodeSigner(signer) ? Anchor::WrongUsage : cross ? Anchor::CrossCertificate : Anchor::Root;
}

// Counts what PKCS7_verify would go through once per entry (a digest BIO
// each, a certificate search each), so a hostile signature costs no more
// than a real one: false on too many, or on a digest named twice.
bool WithinBudget(PKCS7* p7) {
  const STACK_OF(X509_ALGOR)* digests = p7->d.sign->md_algs;
  const int count = sk_X509_ALGOR_num(digests);
  if (count > kMaxDigestAlgorithms) return false;
  for (int i = 0; i < count; ++i)
    for (int j = 0; j < i; ++j) {
      const X509_ALGOR* a = sk_X509_ALGOR_value(digests, i);
      const X509_ALGOR* b = sk_X509_ALGOR_value(digests, j);
      if (a && b && a->algorithm && b->algorithm && OBJ_cmp(a->algorithm, b->algorithm) == 0) return false;
    }
  return sk_PKCS7_SIGNER_INFO_num(p7->d.sign->signer_info) <= kMaxSigners &&
         sk_X509_num(p7->d.sign->cert) <= kMaxCarriedCertificates;
}

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
  if (!WithinBudget(p7.get())) {
    out.code = SignedDataCode::TooComplex;
    return out;
  }

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
  const PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(infos, 0);
  const ASN1_OBJECT* digest = nullptr;
  if (info && info->digest_alg) X509_ALGOR_get0(&digest, nullptr, nullptr, info->digest_alg);
  out.sha1 = digest && OBJ_obj2nid(digest) == NID_sha1;
  VerifyChain(signer, p7->d.sign->cert, roots, out);
  return out;
}

}  // namespace drivers
