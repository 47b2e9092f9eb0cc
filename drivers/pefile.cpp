#include "drivers/pefile.h"

#include <openssl/evp.h>

#include <cstdint>
#include <memory>

namespace drivers {
namespace {

constexpr std::size_t kNewHeaderPointer = 0x3C;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kOptionalHeaderSizeAt = 16;  // in the COFF header
constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::size_t kChecksumOffset = 64;        // in the optional header
constexpr std::size_t kDirectoryCountPe32 = 92;
constexpr std::size_t kDirectoryCountPe32Plus = 108;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::uint32_t kCertificateDirectory = 4;
constexpr std::size_t kWinCertificateHeader = 8;
constexpr std::uint16_t kWinCertRevision2 = 0x0200;
constexpr std::uint16_t kWinCertTypePkcs7 = 0x0002;

std::uint32_t Le(std::string_view b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + static_cast<std::size_t>(i)]);
  return v;
}

struct MdFree { void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); } };

class Digest {
 public:
  explicit Digest(DigestKind kind) : ctx_(EVP_MD_CTX_new()) {
    ok_ = ctx_ && EVP_DigestInit_ex(ctx_.get(), kind == DigestKind::Sha1 ? EVP_sha1() : EVP_sha256(), nullptr) == 1;
  }
  void Add(std::string_view bytes) {
    ok_ = ok_ && EVP_DigestUpdate(ctx_.get(), bytes.data(), bytes.size()) == 1;
  }
  std::string Finish() {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (!ok_ || EVP_DigestFinal_ex(ctx_.get(), md, &size) != 1) return {};
    return std::string(reinterpret_cast<const char*>(md), size);
  }

 private:
  std::unique_ptr<EVP_MD_CTX, MdFree> ctx_;
  bool ok_ = false;
};

}  // namespace

std::optional<PeLayout> ReadPeLayout(std::string_view b) {
  if (b.size() < kNewHeaderPointer + 4 || b[0] != 'M' || b[1] != 'Z') return std::nullopt;
  const std::size_t pe = Le(b, kNewHeaderPointer, 4);
  if (pe > b.size() || b.size() - pe < 4 + kCoffHeaderSize || b.substr(pe, 4) != std::string_view("PE\0\0", 4))
    return std::nullopt;
  const std::size_t coff = pe + 4;
  const std::size_t optionalSize = Le(b, coff + kOptionalHeaderSizeAt, 2);
  const std::size_t opt = coff + kCoffHeaderSize;
  if (b.size() - opt < optionalSize || optionalSize < 2) return std::nullopt;
  const std::uint32_t magic = Le(b, opt, 2);
  if (magic != kPe32 && magic != kPe32Plus) return std::nullopt;
  const std::size_t countAt = magic == kPe32 ? kDirectoryCountPe32 : kDirectoryCountPe32Plus;
  if (optionalSize < countAt + 4) return std::nullopt;
  const std::uint32_t count = Le(b, opt + countAt, 4);
  const std::size_t entry = opt + countAt + 4 + kCertificateDirectory * kDirectoryEntrySize;
  if (count <= kCertificateDirectory || entry + kDirectoryEntrySize > opt + optionalSize) return std::nullopt;
  PeLayout layout;
  layout.checksumAt = opt + kChecksumOffset;
  layout.certEntryAt = entry;
  const std::size_t at = Le(b, entry, 4);
  const std::size_t size = Le(b, entry + 4, 4);
  if (at != 0 && size != 0 && at >= entry + kDirectoryEntrySize && at <= b.size() && size <= b.size() - at) {
    layout.certAt = at;
    layout.certSize = size;
  }
  return layout;
}

std::string PlainDigest(std::string_view bytes, DigestKind kind) {
  Digest d(kind);
  d.Add(bytes);
  return d.Finish();
}

std::string AuthenticodeDigest(std::string_view b, const PeLayout& l, DigestKind kind) {
  Digest d(kind);
  d.Add(b.substr(0, l.checksumAt));
  d.Add(b.substr(l.checksumAt + 4, l.certEntryAt - (l.checksumAt + 4)));
  const std::size_t after = l.certEntryAt + kDirectoryEntrySize;
  if (l.certAt == 0) {
    d.Add(b.substr(after));
  } else {
    d.Add(b.substr(after, l.certAt - after));
    d.Add(b.substr(l.certAt + l.certSize));
  }
  return d.Finish();
}

std::string FileDigest(std::string_view bytes, DigestKind kind) {
  const auto layout = ReadPeLayout(bytes);
  return layout ? AuthenticodeDigest(bytes, *layout, kind) : PlainDigest(bytes, kind);
}

std::string_view EmbeddedSignature(std::string_view b, const PeLayout& l) {
  if (l.certAt == 0 || l.certSize < kWinCertificateHeader) return {};
  const std::size_t length = Le(b, l.certAt, 4);
  if (length < kWinCertificateHeader || length > l.certSize) return {};
  if (Le(b, l.certAt + 4, 2) != kWinCertRevision2 || Le(b, l.certAt + 6, 2) != kWinCertTypePkcs7) return {};
  return b.substr(l.certAt + kWinCertificateHeader, length - kWinCertificateHeader);
}

}  // namespace drivers
