#include "platform/dism/driverpackage.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "platform/dism/inffile.h"
#include "platform/fs/ini.h"
#include "platform/lasterror.h"
#include "platform/fs/paths.h"
#include "platform/fs/readfile.h"
#include "platform/lowercase.h"
#include "platform/text.h"

namespace platform::dism {

namespace {

constexpr std::uint64_t kFnvOffset = 1469598103934665603ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

// Driver binaries may be large; far below what would hurt all the same.
constexpr std::size_t kSourceCap = std::size_t{256} << 20;
// All of a package's files together, held in memory while it is checked:
// real USB 3.0 packages hold some 10 to 60 MiB.
constexpr std::size_t kPackageCap = std::size_t{128} << 20;

void Hash(std::uint64_t& h, std::string_view bytes) {
  for (unsigned char c : bytes) {
    h ^= c;
    h *= kFnvPrime;
  }
}

// How well "NTamd64.6.1" suits arch at version: -1 when it does not apply,
// else higher for a better match. Decorations without an architecture apply
// to x86 only, as on the system itself: 64-bit images need "NTamd64" or
// "NTia64". One naming the architecture beats one that does not; among
// those, the higher version wins.
long DecorationRank(const std::wstring& decoration, ImageArch arch, OsVersion version) {
  constexpr long kArchNamed = 1000000;
  constexpr long kMajorStep = 1000;
  std::wstring d = LowerCase(decoration);
  if (d.rfind(L"nt", 0) != 0) return -1;
  size_t dot = d.find(L'.');
  std::wstring archPart = d.substr(2, dot == std::wstring::npos ? std::wstring::npos : dot - 2);
  if (archPart.empty() ? arch != ImageArch::X86 : archPart != ArchName(arch)) return -1;
  long rank = archPart.empty() ? 0 : kArchNamed;
  if (dot == std::wstring::npos) return rank;
  int major = 0, minor = 0;
  if (std::swscanf(d.c_str() + dot + 1, L"%d.%d", &major, &minor) < 1) return rank;
  if (major < 0 || minor < 0 || major >= kMajorStep || minor >= kMajorStep) return -1;
  if (major > version.major || (major == version.major && minor > version.minor)) return -1;
  return rank + 1 + major * kMajorStep + minor;
}

bool HasInstallSection(const InfFile& inf, const std::wstring& name, ImageArch arch) {
  std::wstring archName = ArchName(arch);
  return inf.Section(name) || inf.Section(name + L".NT") || inf.Section(name + L".NT" + archName);
}

enum class NameCheck { Ok, Outside, Invalid };

// A character no file name may hold: what the system's file names forbid,
// and NUL above all, which would cut the name short on the host.
bool InvalidNameChar(wchar_t c) {
  return c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*';
}

// The relative path of a listed file: Outside when it would leave the
// folder, Invalid when a component is no valid name.
NameCheck JoinRelative(std::initializer_list<std::wstring> parts, std::wstring& out) {
  out.clear();
  for (const auto& part : parts) {
    size_t start = 0;
    while (start <= part.size()) {
      size_t end = part.find_first_of(L"\\/", start);
      std::wstring comp = part.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
      start = end == std::wstring::npos ? part.size() + 1 : end + 1;
      if (comp.empty() || comp == L".") continue;
      if (std::any_of(comp.begin(), comp.end(), InvalidNameChar)) return NameCheck::Invalid;
      if (comp == L".." || comp.find(L':') != std::wstring::npos) return NameCheck::Outside;
      if (!out.empty()) out += L'\\';
      out += comp;
    }
  }
  return out.empty() ? NameCheck::Outside : NameCheck::Ok;
}

// The lines of a section by lower-case key (the first line of each key).
std::map<std::wstring, const InfLine*> KeyIndex(const InfSection* section) {
  std::map<std::wstring, const InfLine*> index;
  if (section)
    for (const auto& l : section->lines) index.try_emplace(LowerCase(l.key), &l);
  return index;
}

// A name for a message: control characters (NUL above all) shown as \xNN.
std::wstring Printable(const std::wstring& name) {
  std::wstring out;
  for (wchar_t c : name) {
    if (c >= 0x20) {
      out += c;
      continue;
    }
    wchar_t buf[8];
    std::swprintf(buf, 8, L"\\x%02X", static_cast<unsigned>(c));
    out += buf;
  }
  return out;
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
  if (!ResolvePath(infPath, infHost)) {
    message = L"The driver package file " + quoted + L" cannot be read: its path is not valid.";
    return HResultFromWin32(ERROR_PATH_NOT_FOUND);
  }
  if (DWORD error = ReadHostFile(infHost, infBytes)) {
    message = L"The driver package file " + quoted + L" cannot be read (" +
              WideFromAnsi(ReadFileErrorText(error)) + L").";
    return HResultFromWin32(error);
  }
  InfFile inf;
  std::wstring syntax;
  if (!InfFile::Parse(DecodeTextFile(infBytes), inf, syntax)) {
    message = L"The driver package file " + quoted + L" is not a valid INF file: " + syntax + L".";
    return SPAPI_E_GENERAL_SYNTAX;
  }

  std::wstring signature = LowerCase(inf.Value(L"Version", L"Signature").value_or(L""));
  if (signature != L"$windows nt$" && signature != L"$chicago$" && signature != L"$windows 95$") {
    message = L"The file " + quoted + L" is not a driver INF: its [Version] section has no Windows NT signature.";
    return SPAPI_E_WRONG_INF_STYLE;
  }
  const InfSection* manufacturer = inf.Section(L"Manufacturer");
  if (!manufacturer || manufacturer->lines.empty()) {
    message = L"The file " + quoted + L" is not a driver INF: it has no [Manufacturer] section.";
    return SPAPI_E_WRONG_INF_STYLE;
  }

  // The models section of each manufacturer for this image: the best
  // decoration that applies, else (x86 only) the undecorated section.
  int models = 0;
  for (const auto& entry : manufacturer->lines) {
    if (entry.fields.empty()) continue;
    const std::wstring& base = entry.fields.front();
    std::wstring chosen;
    long best = -1;
    for (size_t i = 1; i < entry.fields.size(); ++i) {
      long rank = DecorationRank(entry.fields[i], arch, version);
      if (rank > best && inf.Section(base + L"." + entry.fields[i])) {
        best = rank;
        chosen = base + L"." + entry.fields[i];
      }
    }
    if (chosen.empty() && arch == ImageArch::X86) chosen = base;
    const InfSection* s = chosen.empty() ? nullptr : inf.Section(chosen);
    if (!s) continue;
    out.modelSections.push_back(s->name);
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
  if (models == 0) {
    message = L"The driver package " + quoted + L" offers no models for the " + std::wstring(ArchName(arch)) +
              L" architecture of the image.";
    return SPAPI_E_NO_COMPATIBLE_MODELS;
  }

  // The files the package lists.
  const std::wstring archName = ArchName(arch);
  size_t slash = infPath.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : infPath.substr(0, slash);
  out.infName = LowerCase(slash == std::wstring::npos ? infPath : infPath.substr(slash + 1));

  std::map<std::wstring, std::wstring> listed;  // lower-case relative -> relative
  std::wstring catalog;
  for (const std::wstring& key : {L"CatalogFile.NT" + archName, std::wstring(L"CatalogFile.NT"), std::wstring(L"CatalogFile")}) {
    if (auto v = inf.Value(L"Version", key); v && !v->empty()) {
      catalog = *v;
      break;
    }
  }
  auto addListed = [&](const std::wstring& relative) { listed[LowerCase(relative)] = relative; };
  auto refuseName = [&](NameCheck check, int line, const std::wstring& name) {
    message = L"The driver package file " + quoted + (line ? L": line " + std::to_wstring(line) : std::wstring()) +
              (check == NameCheck::Invalid ? L" names a file whose name is not valid: '" + Printable(name) + L"'."
                                           : L" names a file outside the package folder: '" + Printable(name) + L"'.");
    return check == NameCheck::Invalid ? HResultFromWin32(ERROR_INVALID_NAME) : SPAPI_E_GENERAL_SYNTAX;
  };
  if (!catalog.empty()) {
    std::wstring rel;
    if (NameCheck check = JoinRelative({catalog}, rel); check != NameCheck::Ok) return refuseName(check, 0, catalog);
    addListed(rel);
  }
  const auto disksPlain = KeyIndex(inf.Section(L"SourceDisksNames"));
  const auto disksArch = KeyIndex(inf.Section(L"SourceDisksNames." + archName));
  auto findDisk = [](const std::map<std::wstring, const InfLine*>& index, const std::wstring& key) -> const InfLine* {
    auto it = index.find(LowerCase(key));
    return it == index.end() ? nullptr : it->second;
  };
  for (const InfSection* filesSection : {inf.Section(L"SourceDisksFiles"), inf.Section(L"SourceDisksFiles." + archName)}) {
    if (!filesSection) continue;
    for (const auto& entry : filesSection->lines) {
      std::wstring name = entry.key.empty() && !entry.fields.empty() ? entry.fields.front() : entry.key;
      if (name.empty()) continue;
      std::wstring disk = entry.key.empty() || entry.fields.empty() ? L"" : entry.fields[0];
      std::wstring subdir = entry.key.empty() || entry.fields.size() < 2 ? L"" : entry.fields[1];
      const InfLine* diskLine = findDisk(disksArch, disk);
      if (!diskLine) diskLine = findDisk(disksPlain, disk);
      std::wstring diskPath = diskLine && diskLine->fields.size() >= 4 ? diskLine->fields[3] : L"";
      std::wstring rel;
      if (NameCheck check = JoinRelative({diskPath, subdir, name}, rel); check != NameCheck::Ok)
        return refuseName(check, entry.line, name);
      addListed(rel);
      out.sources[LowerCase(name)] = rel;
    }
  }

  // Every file is read once: its presence, its hash and its staged copy
  // come from the same bytes.
  out.files.push_back({out.infName, infHost, infBytes});
  listed.erase(out.infName);
  std::wstring missing;
  std::size_t held = infBytes.size();
  for (const auto& [lower, rel] : listed) {
    PackageFile file{rel, {}, {}};
    std::wstring system = folder.empty() ? rel : JoinPath(folder, rel);
    DWORD error = ResolvePath(system, file.host) ? ReadHostFile(file.host, file.bytes, kSourceCap)
                                                 : ERROR_FILE_NOT_FOUND;
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      missing += (missing.empty() ? L"" : L", ") + rel;
      continue;
    }
    if (error) {
      message = L"The driver package " + quoted + L" cannot use its file '" + rel + L"' (" +
                WideFromAnsi(ReadFileErrorText(error)) + L").";
      return HResultFromWin32(error);
    }
    held += file.bytes.size();
    if (held > kPackageCap) {
      message = L"The driver package " + quoted + L" holds more than 128 MiB of files.";
      return HResultFromWin32(ERROR_FILE_TOO_LARGE);
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
    Hash(h, AnsiFromWide(LowerCase(out.files[i].relative)));
    Hash(h, std::string(1, '\0'));
    Hash(h, out.files[i].bytes);
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  out.hash = hex;
  out.inf = std::move(inf);
  return S_OK;
}

}  // namespace platform::dism
