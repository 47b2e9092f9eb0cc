#include "catalogkit.h"

#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <functional>
#include <stdexcept>

#include "drivers/pefile.h"

namespace kxdrv {
namespace {

constexpr int kKeyBits = 1024;  // small: tests make many keys, strength is no concern here
constexpr long kValidSeconds = 10L * 365 * 24 * 3600;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("catalog kit: ") + what);
}

std::unique_ptr<EVP_PKEY, KeyFree> NewKey() {
  std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_RSA_gen(kKeyBits));
  Check(key != nullptr, "key");
  return key;
}

void Extension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  Check(ext && X509_add_ext(cert, ext, -1), "extension");
  X509_EXTENSION_free(ext);
}

constexpr long kYearSeconds = 365L * 24 * 3600;

std::unique_ptr<X509, CertFree> NewCert(const std::string& cn, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                                        long serial, bool ca, const std::string& usage = "codeSigning",
                                        bool expired = false) {
  std::unique_ptr<X509, CertFree> cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), expired ? -2 * kYearSeconds : -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), expired ? -kYearSeconds : kValidSeconds);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Kestrunex tests"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
  X509_set_pubkey(cert.get(), key);
  X509* signer = issuer ? issuer : cert.get();
  Extension(cert.get(), signer, NID_basic_constraints, ca ? "critical,CA:TRUE" : "CA:FALSE");
  if (!ca) Extension(cert.get(), signer, NID_ext_key_usage, usage.c_str());
  Check(X509_sign(cert.get(), issuerKey, EVP_sha256()) > 0, "certificate");
  return cert;
}

// DER, written by hand: the trust list is no structure OpenSSL knows.
std::string Tlv(unsigned char tag, const std::string& content) {
  std::string out(1, static_cast<char>(tag));
  const size_t n = content.size();
  if (n < 0x80) {
    out += static_cast<char>(n);
  } else {
    std::string len;
    for (size_t v = n; v; v >>= 8) len.insert(len.begin(), static_cast<char>(v & 0xFF));
    out += static_cast<char>(0x80 | len.size());
    out += len;
  }
  return out + content;
}

std::string Oid(const char* dotted) {
  ASN1_OBJECT* o = OBJ_txt2obj(dotted, 1);
  Check(o != nullptr, "oid");
  unsigned char* der = nullptr;
  const int n = i2d_ASN1_OBJECT(o, &der);
  std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(n));
  OPENSSL_free(der);
  ASN1_OBJECT_free(o);
  return out;
}

std::string Seq(const std::string& c) { return Tlv(0x30, c); }
std::string Octets(const std::string& c) { return Tlv(0x04, c); }
const std::string kNull("\x05\x00", 2);

std::string Utf16Hex(const std::string& digest) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : digest) {
    out += hex[c >> 4];
    out += '\0';
    out += hex[c & 15];
    out += '\0';
  }
  return out;
}

// SpcPeImageData as signing tools write it: no flags, the obsolete link.
std::string PeImageData() {
  std::string obsolete;
  for (char c : std::string("<<<Obsolete>>>")) obsolete += std::string(1, '\0') + c;
  return Seq(Tlv(0x03, std::string(1, '\0')) + Tlv(0xA0, Tlv(0xA2, Tlv(0x80, obsolete))));
}

std::string Der(PKCS7* p7) {
  unsigned char* der = nullptr;
  const int n = i2d_PKCS7(p7, &der);
  Check(n > 0, "encoding");
  std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(n));
  OPENSSL_free(der);
  return out;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TestCa::TestCa(const CaOptions& options) {
  rootKey_ = NewKey();
  signerKey_ = NewKey();
  root_ = NewCert(options.rootCommonName, rootKey_.get(), nullptr, rootKey_.get(), 1, true);
  signer_ = NewCert(options.rootCommonName + " Signer", signerKey_.get(), root_.get(), rootKey_.get(), 2, false,
                    options.signerUsage, options.signerExpired);
}

X509* TestCa::CrossCertifiedBy(const TestCa& issuer) const {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 3);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), kValidSeconds);
  X509_set_subject_name(cert, X509_get_subject_name(root_.get()));
  X509_set_issuer_name(cert, X509_get_subject_name(issuer.Root()));
  X509_set_pubkey(cert, rootKey_.get());
  Extension(cert, issuer.Root(), NID_basic_constraints, "critical,CA:TRUE");
  Check(X509_sign(cert, issuer.rootKey_.get(), EVP_sha256()) > 0, "cross-certificate");
  return cert;
}

std::string TestCa::RootPem() const {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, root_.get());
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  std::string out(data, static_cast<size_t>(n));
  BIO_free(bio);
  return out;
}

namespace {

std::string Pem(const std::function<void(BIO*)>& write) {
  BIO* bio = BIO_new(BIO_s_mem());
  write(bio);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  std::string out(data, static_cast<size_t>(n));
  BIO_free(bio);
  return out;
}

void Put(std::string& b, size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::string TestCa::SignerChainPem() const {
  return Pem([&](BIO* b) { PEM_write_bio_X509(b, signer_.get()); }) + RootPem();
}

std::string TestCa::SignerKeyPem() const {
  return Pem([&](BIO* b) { PEM_write_bio_PrivateKey(b, signerKey_.get(), nullptr, nullptr, 0, nullptr, nullptr); });
}

std::string MinimalPe() {
  constexpr size_t kPe = 0x40, kOpt = kPe + 24, kSection = kOpt + 240, kFileAlign = 0x200;
  std::string b(2 * kFileAlign, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Put(b, 0x3C, kPe, 4);
  b.replace(kPe, 4, std::string("PE\0\0", 4));
  Put(b, kPe + 4, 0x8664, 2);   // x86-64
  Put(b, kPe + 6, 1, 2);        // one section
  Put(b, kPe + 20, 240, 2);     // optional header size
  Put(b, kPe + 22, 0x22, 2);    // executable, large addresses
  Put(b, kOpt, 0x20B, 2);       // PE32+
  Put(b, kOpt + 4, kFileAlign, 4);       // size of code
  Put(b, kOpt + 16, 0x1000, 4);          // entry point
  Put(b, kOpt + 20, 0x1000, 4);          // base of code
  Put(b, kOpt + 24, 0x140000000ull, 8);  // image base
  Put(b, kOpt + 32, 0x1000, 4);          // section alignment
  Put(b, kOpt + 36, kFileAlign, 4);      // file alignment
  Put(b, kOpt + 40, 6, 2);               // OS version 6.1
  Put(b, kOpt + 42, 1, 2);
  Put(b, kOpt + 48, 6, 2);               // subsystem version 6.1
  Put(b, kOpt + 50, 1, 2);
  Put(b, kOpt + 56, 0x2000, 4);          // size of image
  Put(b, kOpt + 60, kFileAlign, 4);      // size of headers
  Put(b, kOpt + 68, 1, 2);               // native subsystem
  Put(b, kOpt + 108, 16, 4);             // data directories
  b.replace(kSection, 5, ".text");
  Put(b, kSection + 8, kFileAlign, 4);   // virtual size
  Put(b, kSection + 12, 0x1000, 4);      // virtual address
  Put(b, kSection + 16, kFileAlign, 4);  // raw size
  Put(b, kSection + 20, kFileAlign, 4);  // raw data
  Put(b, kSection + 36, 0x60000020, 4);  // code, execute, read
  b[kFileAlign] = '\xC3';                // ret
  return b;
}

const TestCa& SharedCa() {
  static const TestCa ca;
  return ca;
}

drivers::TrustedRoots SharedRoots() {
  drivers::TrustedRoots roots;
  Check(roots.AddPem(SharedCa().RootPem()), "roots");
  return roots;
}

std::string TrustList(const std::vector<std::string>& files, MemberDigest digest, MemberForm form) {
  const bool sha1 = digest == MemberDigest::Sha1;
  const auto kind = sha1 ? drivers::DigestKind::Sha1 : drivers::DigestKind::Sha256;
  const std::string algorithm = Seq(Oid(sha1 ? "1.3.14.3.2.26" : "2.16.840.1.101.3.4.2.1") + kNull);
  std::string members;
  for (const auto& bytes : files) {
    const std::string d = drivers::FileDigest(bytes, kind);
    const bool pe = drivers::ReadPeLayout(bytes).has_value();
    // SpcIndirectDataContent: the kind of data (a PE image, a flat file) and its digest.
    const std::string data = pe ? Seq(Oid("1.3.6.1.4.1.311.2.1.15") + PeImageData()) : Seq(Oid("1.3.6.1.4.1.311.2.1.25"));
    const std::string indirect = Seq(data + Seq(algorithm + Octets(d)));
    const std::string attributes =
        form == MemberForm::Identifier ? "" : Tlv(0x31, Seq(Oid("1.3.6.1.4.1.311.2.1.4") + Tlv(0x31, indirect)));
    // Without an identifier of the digest, the identifier is a name of the file's own.
    const std::string id = form == MemberForm::IndirectData ? std::string("member") : Utf16Hex(d);
    members += Seq(Octets(id) + attributes);
  }
  return Seq(Seq(Oid("1.3.6.1.4.1.311.12.1.1")) + Octets(std::string(16, '\x11')) + Tlv(0x17, "260101000000Z") +
             Seq(Oid(sha1 ? "1.3.6.1.4.1.311.12.1.2" : "1.3.6.1.4.1.311.12.1.3") + kNull) + Seq(members));
}

std::string SignedCatalog(const std::string& trustList, const TestCa& ca, bool sign) {
  return sign ? SignedCatalog(trustList, ca, EVP_sha1(), {ca.Root()}) : SignedCatalog(trustList, ca, nullptr, {ca.Root()});
}

// md null: no signer.
std::string SignedCatalog(const std::string& trustList, const TestCa& ca, const EVP_MD* md,
                          const std::vector<X509*>& carried) {
  std::unique_ptr<PKCS7, decltype(&PKCS7_free)> p7(PKCS7_new(), PKCS7_free);
  Check(PKCS7_set_type(p7.get(), NID_pkcs7_signed), "type");
  PKCS7_add_certificate(p7.get(), ca.Signer());
  for (X509* c : carried) PKCS7_add_certificate(p7.get(), c);
  // The content: the trust list itself (PKCS#7 "other" content).
  PKCS7* inner = PKCS7_new();
  inner->type = OBJ_txt2obj("1.3.6.1.4.1.311.10.1", 1);
  ASN1_STRING* seq = ASN1_STRING_type_new(V_ASN1_SEQUENCE);
  ASN1_STRING_set(seq, trustList.data(), static_cast<int>(trustList.size()));
  inner->d.other = ASN1_TYPE_new();
  ASN1_TYPE_set(inner->d.other, V_ASN1_SEQUENCE, seq);
  Check(PKCS7_set_content(p7.get(), inner), "content");
  if (md) {
    PKCS7_SIGNER_INFO* si = PKCS7_add_signature(p7.get(), ca.Signer(), ca.SignerKey(), md);
    Check(si != nullptr, "signer");
    PKCS7_add_signed_attribute(si, NID_pkcs9_contentType, V_ASN1_OBJECT, OBJ_txt2obj("1.3.6.1.4.1.311.10.1", 1));
    // The digest covers the content's contents octets (the list without its header).
    const auto first = static_cast<unsigned char>(trustList[1]);
    const size_t header = 2 + (first & 0x80 ? (first & 0x7F) : 0);
    unsigned size = 0;
    unsigned char digest[EVP_MAX_MD_SIZE];
    EVP_Digest(trustList.data() + header, trustList.size() - header, digest, &size, md, nullptr);
    Check(PKCS7_add1_attrib_digest(si, digest, static_cast<int>(size)), "digest");
    Check(PKCS7_SIGNER_INFO_sign(si), "signature");
  }
  return Der(p7.get());
}

void WriteCatalog(const fs::path& cat, const std::vector<fs::path>& members, const TestCa& ca, MemberDigest digest,
                  MemberForm form) {
  std::vector<std::string> bytes;
  for (const auto& m : members) bytes.push_back(ReadFile(m));
  std::ofstream(cat, std::ios::binary) << SignedCatalog(TrustList(bytes, digest, form), ca);
}

}  // namespace kxdrv
