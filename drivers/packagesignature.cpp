#include "drivers/packagesignature.h"

#include <algorithm>

#include "drivers/catalogfile.h"
#include "drivers/derreader.h"
#include "drivers/pefile.h"
#include "platform/dism/driverpackage.h"
#include "platform/fs/paths.h"
#include "platform/fs/readfile.h"
#include "platform/text.h"

namespace drivers {
namespace {

using platform::dism::DriverPackage;
using platform::dism::ImageArch;
using platform::dism::InfFile;
constexpr unsigned long kBootStart = 0;

std::wstring Key(std::wstring s) {
  std::replace(s.begin(), s.end(), L'/', L'\\');
  return platform::UpperCase(s);
}

std::wstring BaseName(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::string Narrow(const std::wstring& w) { return platform::AnsiFromWide(w); }

std::wstring CatalogName(const InfFile& inf, ImageArch arch) {
  const std::wstring archName = platform::dism::ArchName(arch);
  for (const std::wstring& key : {L"CatalogFile.NT" + archName, std::wstring(L"CatalogFile.NT"), std::wstring(L"CatalogFile")})
    if (auto v = inf.Value(L"Version", key); v && !v->empty()) return *v;
  return {};
}

// The binaries of the services that start at boot: for each install
// section the models name, its Services section's AddService lines.
std::vector<std::wstring> BootBinaries(const DriverPackage& package, ImageArch arch) {
  const InfFile& inf = package.inf;
  const std::wstring decoration = L".NT" + std::wstring(platform::dism::ArchName(arch));
  std::vector<std::wstring> out;
  for (const auto& models : package.modelSections) {
    const auto* section = inf.Section(models);
    if (!section) continue;
    for (const auto& line : section->lines) {
      if (line.fields.empty()) continue;
      const std::wstring& install = line.fields[0];
      const platform::dism::InfSection* services = nullptr;
      for (const std::wstring& name : {install + decoration + L".Services", install + L".NT.Services", install + L".Services"})
        if (!services) services = inf.Section(name);
      if (!services) continue;
      for (const auto& add : services->lines) {
        if (platform::UpperCase(add.key) != L"ADDSERVICE" || add.fields.size() < 3) continue;
        const std::wstring start = inf.Value(add.fields[2], L"StartType").value_or(L"");
        const std::wstring binary = inf.Value(add.fields[2], L"ServiceBinary").value_or(L"");
        if (start.empty() || binary.empty()) continue;
        const unsigned long type = std::wcstoul(start.c_str(), nullptr, 0);
        if (type == kBootStart && std::find(out.begin(), out.end(), Key(BaseName(binary))) == out.end())
          out.push_back(Key(BaseName(binary)));
      }
    }
  }
  return out;
}

// The proof a verified signature gives (the order of the enumeration is
// strongest first).
SignatureProof ProofOf(const SignedData& signature) {
  if (!signature.ok()) return SignatureProof::NotSigned;
  switch (signature.anchor) {
    case Anchor::Root: return signature.sha1 ? SignatureProof::Whql : SignatureProof::Sha256Only;
    case Anchor::CrossCertificate: return signature.sha1 ? SignatureProof::CrossSigned : SignatureProof::Sha256Only;
    case Anchor::None: return SignatureProof::UnacceptedRoot;
    case Anchor::WrongUsage: break;
  }
  return SignatureProof::NotSigned;
}

void Weaken(SignatureProof& proof, SignatureProof other) {
  if (static_cast<int>(other) > static_cast<int>(proof)) proof = other;
}

// The proof of a boot-start binary's embedded signature; why says what
// falls short of a chain to an accepted key matching the file.
SignatureProof EmbeddedProof(const std::string& bytes, const TrustedRoots& roots, std::string& why) {
  const auto layout = ReadPeLayout(bytes);
  const std::string_view der = layout ? EmbeddedSignature(bytes, *layout) : std::string_view();
  if (der.empty()) {
    why = "no embedded signature";
    return SignatureProof::NotSigned;
  }
  const SignedData signature = VerifySignedData(der, kOidIndirectData, roots);
  if (!signature.ok()) {
    why = "embedded signature does not verify";
    return SignatureProof::NotSigned;
  }
  std::set<std::string> digests;
  ReadIndirectDigest(signature.content, digests);
  bool matches = false;
  for (DigestKind kind : {DigestKind::Sha1, DigestKind::Sha256})
    matches = matches || digests.count(AuthenticodeDigest(bytes, *layout, kind)) > 0;
  if (!matches) {
    why = "embedded signature does not match the file";
    return SignatureProof::NotSigned;
  }
  if (signature.anchor == Anchor::WrongUsage) why = "embedded signature by a certificate that is not for code signing";
  else if (!signature.Accepted()) why = "embedded signature not under an accepted root: " + signature.root;
  else if (!signature.sha1) why = "embedded signature is SHA-256 only";
  return ProofOf(signature);
}

void CheckArch(const std::string& infHost, ImageArch arch, const char* archName, const TrustedRoots& roots,
               PackageSignature& out) {
  DriverPackage package;
  std::wstring message;
  if (platform::dism::LoadDriverPackage(platform::SystemPathFromHost(infHost), arch, {}, package, message) !=
      platform::S_OK) {
    out.findings.push_back({FindingCode::CatalogUnreadable, archName, "", Narrow(message)});
    Weaken(out.proof, SignatureProof::NotSigned);
    return;
  }
  const std::wstring catalogKey = Key(CatalogName(package.inf, arch));
  const platform::dism::PackageFile* catalogFile = nullptr;
  for (const auto& f : package.files)
    if (Key(f.relative) == catalogKey) catalogFile = &f;
  const std::string catalogName = Narrow(CatalogName(package.inf, arch));
  std::string bytes;
  if (!catalogFile || platform::ReadHostFile(catalogFile->host, bytes, kCatalogLimit) != 0) {
    out.findings.push_back({FindingCode::CatalogUnreadable, archName, catalogName, ""});
    Weaken(out.proof, SignatureProof::NotSigned);
    return;
  }
  const Catalog catalog = ReadCatalog(bytes, roots);
  Weaken(out.proof, ProofOf(catalog.signature));
  if (catalog.signature.code == SignedDataCode::TooComplex) {
    out.findings.push_back({FindingCode::TooComplex, archName, catalogName, ""});
    return;
  }
  if (catalog.code == CatalogCode::NotCatalog) {
    out.findings.push_back({FindingCode::NotCatalog, archName, catalogName, ""});
    return;
  }
  if (out.signer.empty()) {
    out.signer = catalog.signature.signer;
    out.chain = catalog.signature.chain;
    out.root = catalog.signature.root;
  }
  if (!catalog.ok()) {
    out.findings.push_back({FindingCode::NotSigned, archName, catalogName, catalog.signature.detail});
    return;
  }
  const bool amd64 = arch == ImageArch::Amd64;
  if (catalog.signature.anchor == Anchor::WrongUsage)
    out.findings.push_back({FindingCode::WrongUsage, archName, catalogName, catalog.signature.signer});
  else if (!catalog.signature.Accepted())
    out.findings.push_back({FindingCode::Untrusted, archName, catalogName, catalog.signature.root});
  else if (amd64 && !catalog.signature.sha1)
    out.findings.push_back({FindingCode::Sha256Only, archName, catalogName, ""});
  const std::vector<std::wstring> boot = BootBinaries(package, arch);
  for (const auto& f : package.files) {
    if (&f == catalogFile) continue;
    const std::string shown = f.relative == package.infName ? Narrow(BaseName(platform::WideFromAnsi(infHost)))
                                                            : Narrow(BaseName(f.relative));
    if (!catalog.Holds(f.bytes)) out.findings.push_back({FindingCode::FileMismatch, archName, shown, ""});
    if (std::find(boot.begin(), boot.end(), Key(BaseName(f.relative))) == boot.end()) continue;
    std::string why;
    const SignatureProof proof = EmbeddedProof(f.bytes, roots, why);
    Weaken(out.proof, proof);
    const bool loads = proof == SignatureProof::Whql || proof == SignatureProof::CrossSigned ||
                       (!amd64 && proof == SignatureProof::Sha256Only);
    if (!loads) out.findings.push_back({FindingCode::BootNotSigned, archName, shown, why});
  }
}

struct CodeName {
  FindingCode code;
  const char* name;
};
constexpr CodeName kCodeNames[] = {
    {FindingCode::CatalogUnreadable, "unreadable"}, {FindingCode::NotCatalog, "notcatalog"},
    {FindingCode::NotSigned, "notsigned"},          {FindingCode::Untrusted, "untrusted"},
    {FindingCode::FileMismatch, "mismatch"},        {FindingCode::BootNotSigned, "bootunsigned"},
    {FindingCode::WrongUsage, "wrongusage"},        {FindingCode::Sha256Only, "sha256only"},
    {FindingCode::TooComplex, "toocomplex"},
};

// A field of a record line holds no separator and no control character.
std::string Field(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c == '|' || static_cast<unsigned char>(c) < 0x20) c = '?';
  return out;
}

}  // namespace

std::string FindingLine(const Finding& f) {
  const char* name = "unreadable";
  for (const auto& c : kCodeNames)
    if (c.code == f.code) name = c.name;
  return Field(f.arch) + "|" + name + "|" + Field(f.file) + "|" + Field(f.detail);
}

bool ParseFindingLine(const std::string& line, Finding& out) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t bar = line.find('|', start);
    if (bar == std::string::npos) return false;
    parts.push_back(line.substr(start, bar - start));
    start = bar + 1;
  }
  parts.push_back(line.substr(start));
  for (const auto& c : kCodeNames)
    if (parts[1] == c.name) {
      out = {c.code, parts[0], parts[2], parts[3]};
      return true;
    }
  return false;
}

bool PackageSignature::HasFindings(const std::string& arch) const {
  return std::any_of(findings.begin(), findings.end(), [&](const Finding& f) { return f.arch == arch; });
}

PackageSignature CheckPackageSignature(const std::string& infHost, const std::vector<std::string>& archs,
                                       const TrustedRoots& roots) {
  PackageSignature out;
  out.proof = SignatureProof::Whql;
  for (const auto& arch : archs) {
    if (arch == "x86") CheckArch(infHost, ImageArch::X86, "x86", roots, out);
    if (arch == "amd64") CheckArch(infHost, ImageArch::Amd64, "amd64", roots, out);
  }
  return out;
}

}  // namespace drivers
