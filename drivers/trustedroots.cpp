#include "drivers/trustedroots.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cctype>
#include <climits>

#include "platform/fs/readfile.h"
#include "platform/fs/sysfolders.h"
#include "platform/machine/machine.h"
#include "platform/text.h"

namespace drivers {
namespace {

constexpr const wchar_t* kProgramRoots = L"drivers\\windows-driver-roots.pem";
constexpr const wchar_t* kProgramCrossList = L"drivers\\kernel-cross-certificates.txt";
constexpr std::size_t kListLimit = 1u << 20;
// More certificates than any list of roots holds.
constexpr int kMaxRoots = 256;
constexpr std::size_t kThumbprintHex = 40;

struct BioFree { void operator()(BIO* b) const { BIO_free(b); } };

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

bool TrustedRoots::AddPem(std::string_view pem) {
  if (pem.size() > static_cast<std::size_t>(INT_MAX)) return false;
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return false;
  std::vector<std::shared_ptr<X509>> read;
  for (;;) {
    X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
    if (!cert) break;
    read.emplace_back(cert, X509_free);
    if (read.size() > kMaxRoots) break;
  }
  // The end of the text is the only reason to stop: a damaged certificate
  // in the middle makes the whole file unreadable.
  const unsigned long last = ERR_peek_last_error();
  const bool atEnd = ERR_GET_LIB(last) == ERR_LIB_PEM && ERR_GET_REASON(last) == PEM_R_NO_START_LINE;
  ERR_clear_error();
  if (read.empty() || read.size() > kMaxRoots || !atEnd) return false;
  roots_.insert(roots_.end(), read.begin(), read.end());
  return true;
}

void TrustedRoots::AddThumbprints(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.size() < kThumbprintHex) continue;
    std::string raw;
    for (std::size_t i = 0; i < kThumbprintHex; i += 2) {
      const int hi = Hex(line[i]), lo = Hex(line[i + 1]);
      if (hi < 0 || lo < 0) break;
      raw += static_cast<char>(hi * 16 + lo);
    }
    const bool ends = line.size() == kThumbprintHex || !std::isxdigit(static_cast<unsigned char>(line[kThumbprintHex]));
    if (raw.size() == kThumbprintHex / 2 && ends) thumbprints_.insert(raw);
  }
}

bool TrustedRoots::ListedCrossCertificate(std::string_view der) const {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  if (thumbprints_.empty() || EVP_Digest(der.data(), der.size(), md, &size, EVP_sha1(), nullptr) != 1) return false;
  return thumbprints_.count(std::string(reinterpret_cast<const char*>(md), size)) > 0;
}

bool CurrentTrustedRoots(TrustedRoots& out, std::string& unreadable) {
  out = TrustedRoots();
  const std::wstring folder = platform::GetProgramFolder();
  std::string bytes;
  if (platform::ReadSystemFile(folder + kProgramRoots, bytes, kListLimit) != 0 || !out.AddPem(bytes)) {
    unreadable = platform::AnsiFromWide(folder + kProgramRoots);
    return false;
  }
  if (platform::ReadSystemFile(folder + kProgramCrossList, bytes, kListLimit) != 0) {
    unreadable = platform::AnsiFromWide(folder + kProgramCrossList);
    return false;
  }
  out.AddThumbprints(bytes);
  const platform::Machine& machine = platform::CurrentMachine();
  if (!machine.DriverLibrary().empty() && !machine.DriverRoots().empty() &&
      (platform::ReadHostFile(machine.DriverRoots(), bytes, kListLimit) != 0 || !out.AddPem(bytes))) {
    unreadable = machine.DriverRoots();
    return false;
  }
  return true;
}

}  // namespace drivers
