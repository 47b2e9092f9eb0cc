#include "platform/dism/driverpackage.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <cwctype>
#include <map>

#include "platform/dism/inffile.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace platform::dism {

namespace {

constexpr std::uint64_t kFnvOffset = 1469598103934665603ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

std::wstring Lower(std::wstring_view s) {
  std::wstring r(s);
  for (auto& c : r) c = static_cast<wchar_t>(std::towlower(c));
  return r;
}

bool ReadHost(const std::string& host, std::string& bytes) {
  std::ifstream in(host, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

void Hash(std::uint64_t& h, std::string_view bytes) {
  for (unsigned char c : bytes) {
    h ^= c;
    h *= kFnvPrime;
  }
}

// "NTamd64.6.1" -> does it apply to arch at version? Decorations without an
// architecture apply to x86 only, as on the system itself: 64-bit images
// need "NTamd64" or "NTia64".
bool DecorationApplies(const std::wstring& decoration, ImageArch arch, OsVersion version) {
  std::wstring d = Lower(decoration);
  if (d.rfind(L"nt", 0) != 0) return false;
  size_t dot = d.find(L'.');
  std::wstring archPart = d.substr(2, dot == std::wstring::npos ? std::wstring::npos : dot - 2);
  if (archPart.empty() ? arch != ImageArch::X86 : archPart != ArchName(arch)) return false;
  if (dot == std::wstring::npos) return true;
  int major = 0, minor = 0;
  if (std::swscanf(d.c_str() + dot + 1, L"%d.%d", &major, &minor) < 1) return true;
  return major < version.major || (major == version.major && minor <= version.minor);
}

bool HasInstallSection(const InfFile& inf, const std::wstring& name, ImageArch arch) {
  std::wstring archName = ArchName(arch);
  return inf.Section(name) || inf.Section(name + L".NT") || inf.Section(name + L".NT" + archName);
}

// The relative path of a listed file; false when it would leave the folder.
bool JoinRelative(std::initializer_list<std::wstring> parts, std::wstring& out) {
  out.clear();
  for (const auto& part : parts) {
    size_t start = 0;
    while (start <= part.size()) {
      size_t end = part.find_first_of(L"\\/", start);
      std::wstring comp = part.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
      start = end == std::wstring::npos ? part.size() + 1 : end + 1;
      if (comp.empty() || comp == L".") continue;
      if (comp == L".." || comp.find(L':') != std::wstring::npos) return false;
      if (!out.empty()) out += L'\\';
      out += comp;
    }
  }
  return !out.empty();
}

const InfLine* FindKey(const InfSection* section, const std::wstring& key) {
  if (!section) return nullptr;
  for (const auto& l : section->lines)
    if (EqualsNoCase(l.key, key)) return &l;
  return nullptr;
}

}  // namespace

const wchar_t* ArchName(ImageArch arch) {
  switch (arch) {
    case ImageArch::X86: return L"x86";
    case ImageArch::Amd64: return L"amd64";
    case ImageArch::Ia64: return L"ia64";
  }
  return L"x86";
}

std::wstring DriverPackage::StoreFolderName(ImageArch arch) const {
  return infName + L"_" + ArchName(arch) + L"_neutral_" + WideFromAnsi(hash);
}

HRESULT LoadDriverPackage(const std::wstring& infPath, ImageArch arch, OsVersion version, DriverPackage& out,
                          std::wstring& message) {
  out = DriverPackage();
  const std::wstring quoted = L"'" + infPath + L"'";
  std::string infHost;
  std::string infBytes;
  if (!ResolvePath(infPath, infHost) || !ReadHost(infHost, infBytes)) {
    message = L"The driver package file " + quoted + L" cannot be read.";
    return HResultFromWin32(ERROR_FILE_NOT_FOUND);
  }
  InfFile inf;
  std::wstring syntax;
  if (!InfFile::Parse(DecodeTextFile(infBytes), inf, syntax)) {
    message = L"The driver package file " + quoted + L" is not a valid INF file: " + syntax + L".";
    return SPAPI_E_GENERAL_SYNTAX;
  }

  std::wstring signature = Lower(inf.Value(L"Version", L"Signature").value_or(L""));
  if (signature != L"$windows nt$" && signature != L"$chicago$" && signature != L"$windows 95$") {
    message = L"The file " + quoted + L" is not a driver INF: its [Version] section has no Windows NT signature.";
    return SPAPI_E_WRONG_INF_STYLE;
  }
  const InfSection* manufacturer = inf.Section(L"Manufacturer");
  if (!manufacturer || manufacturer->lines.empty()) {
    message = L"The file " + quoted + L" is not a driver INF: it has no [Manufacturer] section.";
    return SPAPI_E_WRONG_INF_STYLE;
  }

  // Models that apply to this image.
  int models = 0;
  for (const auto& entry : manufacturer->lines) {
    if (entry.fields.empty()) continue;
    const std::wstring& base = entry.fields.front();
    std::vector<std::wstring> sections;
    if (entry.fields.size() == 1) {
      if (arch == ImageArch::X86) sections.push_back(base);
    } else {
      for (size_t i = 1; i < entry.fields.size(); ++i)
        if (DecorationApplies(entry.fields[i], arch, version)) sections.push_back(base + L"." + entry.fields[i]);
    }
    for (const auto& name : sections) {
      const InfSection* s = inf.Section(name);
      if (!s) continue;
      for (const auto& model : s->lines) {
        if (model.fields.empty()) continue;
        if (!HasInstallSection(inf, model.fields.front(), arch)) {
          message = L"The driver package file " + quoted + L": line " + std::to_wstring(model.line) +
                    L" names the install section [" + model.fields.front() + L"], which does not exist.";
          return SPAPI_E_GENERAL_SYNTAX;
        }
        ++models;
      }
    }
  }
  if (models == 0) {
    message = L"The driver package " + quoted + L" offers no models for the " + std::wstring(ArchName(arch)) +
              L" architecture of the image.";
    return SPAPI_E_NO_COMPATIBLE_MODELS;
  }

  // The files the package lists.
  const std::wstring archName = ArchName(arch);
  size_t slash = infPath.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : infPath.substr(0, slash);
  out.infName = Lower(slash == std::wstring::npos ? infPath : infPath.substr(slash + 1));

  std::map<std::wstring, std::wstring> listed;  // lower-case relative -> relative
  std::wstring catalog;
  for (const std::wstring& key : {L"CatalogFile.NT" + archName, std::wstring(L"CatalogFile.NT"), std::wstring(L"CatalogFile")}) {
    if (auto v = inf.Value(L"Version", key); v && !v->empty()) {
      catalog = *v;
      break;
    }
  }
  auto addListed = [&](const std::wstring& relative) { listed[Lower(relative)] = relative; };
  if (!catalog.empty()) {
    std::wstring rel;
    if (!JoinRelative({catalog}, rel)) {
      message = L"The driver package file " + quoted + L" names a catalog outside its folder.";
      return SPAPI_E_GENERAL_SYNTAX;
    }
    addListed(rel);
  }
  const InfSection* disksPlain = inf.Section(L"SourceDisksNames");
  const InfSection* disksArch = inf.Section(L"SourceDisksNames." + archName);
  for (const InfSection* filesSection : {inf.Section(L"SourceDisksFiles"), inf.Section(L"SourceDisksFiles." + archName)}) {
    if (!filesSection) continue;
    for (const auto& entry : filesSection->lines) {
      std::wstring name = entry.key.empty() && !entry.fields.empty() ? entry.fields.front() : entry.key;
      if (name.empty()) continue;
      std::wstring disk = entry.key.empty() || entry.fields.empty() ? L"" : entry.fields[0];
      std::wstring subdir = entry.key.empty() || entry.fields.size() < 2 ? L"" : entry.fields[1];
      const InfLine* diskLine = FindKey(disksArch, disk);
      if (!diskLine) diskLine = FindKey(disksPlain, disk);
      std::wstring diskPath = diskLine && diskLine->fields.size() >= 4 ? diskLine->fields[3] : L"";
      std::wstring rel;
      if (!JoinRelative({diskPath, subdir, name}, rel)) {
        message = L"The driver package file " + quoted + L": line " + std::to_wstring(entry.line) +
                  L" names a file outside the package folder.";
        return SPAPI_E_GENERAL_SYNTAX;
      }
      addListed(rel);
    }
  }

  // Every file is read once: its presence, its hash and its staged copy
  // come from the same bytes.
  out.files.push_back({out.infName, infHost, infBytes});
  listed.erase(out.infName);
  std::wstring missing;
  for (const auto& [lower, rel] : listed) {
    PackageFile file{rel, {}, {}};
    std::wstring system = folder.empty() ? rel : JoinPath(folder, rel);
    if (!ResolvePath(system, file.host) || !ReadHost(file.host, file.bytes)) {
      missing += (missing.empty() ? L"" : L", ") + rel;
      continue;
    }
    out.files.push_back(std::move(file));
  }
  if (!missing.empty()) {
    message = L"The driver package " + quoted + L" lists files that are missing: " + missing + L".";
    return HResultFromWin32(ERROR_FILE_NOT_FOUND);
  }

  std::uint64_t h = kFnvOffset;
  Hash(h, AnsiFromWide(out.infName));
  Hash(h, infBytes);
  for (size_t i = 1; i < out.files.size(); ++i) {
    Hash(h, AnsiFromWide(Lower(out.files[i].relative)));
    Hash(h, std::string(1, '\0'));
    Hash(h, out.files[i].bytes);
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  out.hash = hex;
  return S_OK;
}

}  // namespace platform::dism
