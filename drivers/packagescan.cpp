#include "drivers/packagescan.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "platform/dism/driverpackage.h"
#include "platform/fs/paths.h"
#include "platform/text.h"

namespace drivers {
namespace {

namespace fs = std::filesystem;
using platform::dism::ImageArch;
using platform::HRESULT;
using platform::S_OK;

// The classes a package may have, by name and GUID: USB host controllers,
// hubs and their devices; SCSI, RAID and NVMe adapters; IDE and SATA
// controllers.
struct AcceptedClass {
  const wchar_t* name;
  const wchar_t* guid;
  PackageKind kind;
};
constexpr AcceptedClass kAcceptedClasses[] = {
    {L"USB", L"{36FC9E60-C465-11CF-8056-444553540000}", PackageKind::Usb},
    {L"SCSIADAPTER", L"{4D36E97B-E325-11CE-BFC1-08002BE10318}", PackageKind::Storage},
    {L"HDC", L"{4D36E96A-E325-11CE-BFC1-08002BE10318}", PackageKind::Storage},
};
// Hex digits of the package's SHA-256 in its folder name; the record keeps
// the whole digest, which decides whether a package is already there.
constexpr size_t kNameHashDigits = 16;
constexpr size_t kVendorDigits = 4;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Narrow(const std::wstring& w) { return platform::AnsiFromWide(w); }

std::string Slashes(std::wstring relative) {
  std::replace(relative.begin(), relative.end(), L'\\', L'/');
  return Narrow(relative);
}

struct DigestFree { void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); } };

void Hash(EVP_MD_CTX* h, std::string_view bytes) { EVP_DigestUpdate(h, bytes.data(), bytes.size()); }

// Each part framed by its length, so no two packages share a stream.
void HashPart(EVP_MD_CTX* h, std::string_view bytes) {
  unsigned char size[8];
  for (int i = 0; i < 8; ++i) size[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(bytes.size()) >> (8 * i));
  Hash(h, std::string_view(reinterpret_cast<const char*>(size), sizeof size));
  Hash(h, bytes);
}

bool IsInf(const fs::path& p) { return Lower(p.extension().string()) == ".inf"; }

struct ArchLoad {
  ImageArch arch;
  const char* name;
  HRESULT hr = S_OK;
  std::wstring message;
  platform::dism::DriverPackage package;
};

RefusalCode CodeOf(HRESULT hr) {
  if (hr == platform::SPAPI_E_WRONG_INF_STYLE || hr == platform::SPAPI_E_GENERAL_SYNTAX)
    return RefusalCode::NotDriverInf;
  if (hr == platform::HResultFromWin32(platform::ERROR_FILE_NOT_FOUND)) return RefusalCode::MissingFiles;
  return RefusalCode::Unreadable;
}

void CheckInf(const fs::path& root, const fs::path& inf, std::vector<FoundPackage>& found,
              std::vector<Refusal>& refused) {
  const std::string shown = fs::relative(inf, root).string();
  const std::wstring system = platform::SystemPathFromHost(inf.string());
  std::vector<ArchLoad> loads{{ImageArch::X86, "x86"}, {ImageArch::Amd64, "amd64"}};
  for (auto& load : loads)
    load.hr = platform::dism::LoadDriverPackage(system, load.arch, {}, load.package, load.message);
  const ArchLoad* any = nullptr;
  for (const auto& load : loads) {
    if (load.hr == S_OK) {
      any = any ? any : &load;
    } else if (load.hr != platform::SPAPI_E_NO_COMPATIBLE_MODELS) {
      refused.push_back({shown, CodeOf(load.hr), Narrow(load.message)});
      return;
    }
  }
  if (!any) {
    refused.push_back({shown, RefusalCode::NoModels, ""});
    return;
  }
  const auto& inf0 = any->package.inf;
  const std::wstring cls = inf0.Value(L"Version", L"Class").value_or(L"");
  const std::wstring guid = inf0.Value(L"Version", L"ClassGUID").value_or(L"");
  const AcceptedClass* accepted = nullptr;
  for (const auto& c : kAcceptedClasses)
    if (platform::UpperCase(cls) == c.name || platform::UpperCase(guid) == c.guid) accepted = &c;
  if (!accepted) {
    refused.push_back({shown, RefusalCode::UnsupportedClass, Narrow(cls.empty() ? guid : cls)});
    return;
  }

  FoundPackage package;
  PackageRecord& r = package.record;
  r.kind = accepted->kind;
  std::map<std::string, PackageFileRef> files;  // lower-case relative -> file
  std::string firstRelative;
  for (const auto& load : loads) {
    if (load.hr != S_OK) continue;
    bool hasCatalog = false;
    for (const wchar_t* key : {L"CatalogFile", L"CatalogFile.NT"})
      hasCatalog = hasCatalog || !load.package.inf.Value(L"Version", key).value_or(L"").empty();
    hasCatalog = hasCatalog ||
                 !load.package.inf.Value(L"Version", L"CatalogFile.NT" + std::wstring(platform::dism::ArchName(load.arch)))
                      .value_or(L"")
                      .empty();
    if (!hasCatalog) {
      refused.push_back({shown, RefusalCode::NoCatalog, load.name});
      return;
    }
    r.archs.push_back(load.name);
    for (const auto& f : load.package.files) {
      const std::string rel = f.relative == load.package.infName ? inf.filename().string() : Slashes(f.relative);
      files.emplace(Lower(rel), PackageFileRef{rel, f.host});
    }
    for (const auto& sectionName : load.package.modelSections) {
      const auto* section = load.package.inf.Section(sectionName);
      if (!section) continue;
      for (const auto& line : section->lines)
        for (size_t i = 1; i < line.fields.size(); ++i) {
          const std::string id = Narrow(line.fields[i]);
          if (!id.empty() && std::find(r.hardwareIds.begin(), r.hardwareIds.end(), id) == r.hardwareIds.end())
            r.hardwareIds.push_back(id);
        }
    }
  }
  const std::string infName = inf.filename().string();
  package.files.push_back(files.at(Lower(infName)));
  files.erase(Lower(infName));
  std::unique_ptr<EVP_MD_CTX, DigestFree> h(EVP_MD_CTX_new());
  EVP_DigestInit_ex(h.get(), EVP_sha256(), nullptr);
  HashPart(h.get(), Lower(infName));
  for (auto& [lower, ref] : files) package.files.push_back(ref);
  std::map<std::string, const std::string*> bytesOf;  // host path -> content, read once by the loader
  for (const auto& load : loads)
    for (const auto& f : load.package.files) bytesOf.emplace(f.host, &f.bytes);
  for (const auto& ref : package.files) {
    HashPart(h.get(), Lower(ref.relative));
    const auto it = bytesOf.find(ref.host);
    HashPart(h.get(), it != bytesOf.end() ? std::string_view(*it->second) : std::string_view());
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned digestSize = 0;
  EVP_DigestFinal_ex(h.get(), digest, &digestSize);
  std::string hex;
  for (unsigned i = 0; i < digestSize; ++i) {
    hex += "0123456789abcdef"[digest[i] >> 4];
    hex += "0123456789abcdef"[digest[i] & 15];
  }
  r.digest = hex;
  r.inf = infName;
  package.found = shown;
  r.name = Lower(inf.stem().string()) + "_" + hex.substr(0, kNameHashDigits);
  r.provider = Narrow(inf0.Value(L"Version", L"Provider").value_or(L""));
  r.cls = Narrow(cls);
  const auto* version = inf0.Section(L"Version");
  if (version)
    for (const auto& line : version->lines)
      if (platform::UpperCase(line.key) == L"DRIVERVER") {
        if (!line.fields.empty()) r.date = Narrow(line.fields[0]);
        if (line.fields.size() > 1) r.version = Narrow(line.fields[1]);
        break;
      }
  found.push_back(std::move(package));
}

}  // namespace

std::string PackageVendor(const std::vector<std::string>& hardwareIds) {
  for (const auto& id : hardwareIds) {
    const std::string upper = [&] {
      std::string u = id;
      std::transform(u.begin(), u.end(), u.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
      return u;
    }();
    for (const char* tag : {"VEN_", "VID_"}) {
      const size_t at = upper.find(tag);
      if (at == std::string::npos || at + 4 + kVendorDigits > upper.size()) continue;
      const std::string digits = upper.substr(at + 4, kVendorDigits);
      if (std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); }))
        return Lower(digits);
    }
  }
  return {};
}

void ScanFolder(const std::string& folderHost, std::vector<FoundPackage>& found, std::vector<Refusal>& refused) {
  const fs::path root(folderHost);
  std::vector<fs::path> infs;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end; !ec && it != end;
       it.increment(ec)) {
    const fs::file_status st = it->symlink_status(ec);
    if (!ec && fs::is_regular_file(st) && IsInf(it->path())) infs.push_back(it->path());
  }
  std::sort(infs.begin(), infs.end());
  if (infs.empty()) {
    refused.push_back({".", RefusalCode::NoInf, ""});
    return;
  }
  for (const auto& inf : infs) CheckInf(root, inf, found, refused);
}

}  // namespace drivers
