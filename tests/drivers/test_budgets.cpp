// Small hostile inputs that once cost gigabytes or minutes: each case runs
// in a child process whose address space is capped, so a regression fails
// (the child dies, or is killed after a generous time) instead of making
// the machine swap. What matters is that they end, refused or read.

#include <gtest/gtest.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "catalogkit.h"
#include "drivers/catalogfile.h"
#include "platform/dism/inffile.h"
#include "platform/image/imagevolume.h"
#include "packagekit.h"
#include "testmachine.h"

namespace {

using namespace kxdrv;

constexpr rlim_t kAddressSpace = 512ull << 20;
constexpr auto kGenerousTime = std::chrono::seconds(60);

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCapAddressSpace = false;  // the sanitizer's shadow memory alone passes any cap
#else
constexpr bool kCapAddressSpace = true;
#endif

// Runs body in a child under the cap: "" when it returned true in time,
// else what went wrong.
std::string InChild(const std::function<bool()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit cap{kAddressSpace, kAddressSpace};
    if (kCapAddressSpace) setrlimit(RLIMIT_AS, &cap);
    _exit(body() ? 0 : 1);
  }
  const auto end = std::chrono::steady_clock::now() + kGenerousTime;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return "still running after a minute";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFSIGNALED(status)) return "died of signal " + std::to_string(WTERMSIG(status));
  return WEXITSTATUS(status) == 0 ? "" : "ended with the wrong outcome (or out of memory)";
}

// An INF whose lines each name one long string many times.
std::string InfBomb(int lines, int tokensPerLine) {
  std::string inf = "[Version]\nSignature=\"$WINDOWS NT$\"\n[Strings]\ns=\"" + std::string(4000, 'A') + "\"\n[Boom]\n";
  std::string line;
  for (int i = 0; i < tokensPerLine; ++i) line += "%s%";
  for (int i = 0; i < lines; ++i) inf += "k" + std::to_string(i) + "=" + line + "\n";
  return inf;
}

bool InfRefused(const std::string& inf) {
  platform::dism::InfFile parsed;
  std::wstring error;
  const std::wstring text(inf.begin(), inf.end());
  return !platform::dism::InfFile::Parse(text, parsed, error) &&
         error.find(L": string substitution too long") != std::wstring::npos;
}

// A signed catalog naming `count` more digest algorithms: made-up ones, all
// different, or SHA-1 (which it names already).
std::string CatalogWithDigests(int count, bool distinct) {
  const std::string der = SignedCatalog(TrustList({"a file"}, MemberDigest::Sha1, MemberForm::Both), SharedCa());
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  PKCS7* p7 = d2i_PKCS7(nullptr, &p, static_cast<long>(der.size()));
  for (int i = 0; p7 && i < count; ++i) {
    X509_ALGOR* alg = X509_ALGOR_new();
    const std::string oid = distinct ? "1.2.3.4." + std::to_string(i) : std::string("1.3.14.3.2.26");
    X509_ALGOR_set0(alg, OBJ_txt2obj(oid.c_str(), 1), V_ASN1_NULL, nullptr);
    sk_X509_ALGOR_push(p7->d.sign->md_algs, alg);
  }
  unsigned char* out = nullptr;
  const int n = i2d_PKCS7(p7, &out);
  std::string bytes(reinterpret_cast<char*>(out), static_cast<size_t>(n > 0 ? n : 0));
  OPENSSL_free(out);
  PKCS7_free(p7);
  return bytes;
}

bool CatalogRefused(const std::string& der) {
  const drivers::Catalog catalog = drivers::ReadCatalog(der, SharedRoots());
  return !catalog.ok() && catalog.signature.code == drivers::SignedDataCode::TooComplex;
}

struct BudgetCase {
  const char* name;
  std::function<bool()> body;  // true: refused (or read) as it should be
};

TEST(Budgets, HostileInputsEndQuicklyInLittleMemory) {
  kxtest::TempDir work;
  // An image whose names pass a small cap for names and paths.
  const fs::path tree = work.path() / "tree";
  std::string deep = (tree / "").string();
  for (int i = 0; i < 8; ++i) deep += std::string(60, static_cast<char>('a' + i)) + "/";
  fs::create_directories(deep);
  for (int i = 0; i < 50; ++i) std::ofstream(deep + std::to_string(i) + std::string(50, 'z'));
  const fs::path iso = work.path() / "names.iso";
  ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -J -joliet-long -o '" + iso.string() + "' '" + tree.string() +
                         "' >/dev/null 2>&1").c_str()),
            0);
  const BudgetCase cases[] = {
      {"InfOneLineOfManyLongStrings", [] { return InfRefused(InfBomb(1, 20000)); }},
      {"InfManyLinesOfLongStrings", [] { return InfRefused(InfBomb(20000, 4)); }},
      {"CatalogOf20000DigestAlgorithms", [] { return CatalogRefused(CatalogWithDigests(20000, true)); }},
      {"CatalogNamingOneDigestTwice", [] { return CatalogRefused(CatalogWithDigests(1, false)); }},
      {"ImageNamesPastTheirCap",
       [&] {
         std::string error;
         platform::image::ImageLimits limits;
         limits.nameBytes = 2048;
         return !platform::image::ImageVolume::Open(iso.string(), error, limits) &&
                error.find("paths too long") != std::string::npos;
       }},
      {"ImageNamesWithinTheDefaultCap",
       [&] {
         std::string error;
         return platform::image::ImageVolume::Open(iso.string(), error) != nullptr;
       }},
  };
  for (const auto& c : cases) EXPECT_EQ(InChild(c.body), "") << c.name;
}

}  // namespace
