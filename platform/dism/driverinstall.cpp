#include "platform/dism/driverinstall.h"

#include <map>
#include <set>

#include "platform/lowercase.h"
#include "platform/text.h"

namespace platform::dism {

namespace {

// Directory ids of [DestinationDirs] and %<id>% paths, as folders of the image.
const std::map<unsigned long, std::string>& DirectoryIds() {
  static const std::map<unsigned long, std::string> ids = {
      {10, "Windows"},
      {11, "Windows/System32"},
      {12, "Windows/System32/drivers"},
      {17, "Windows/INF"},
      {18, "Windows/Help"},
      {20, "Windows/Fonts"},
      {23, "Windows/System32/spool/drivers/color"},
      {24, ""},
      {25, "Windows"},
      {30, ""},
      {50, "Windows/System"},
      {51, "Windows/System32/spool"},
      {52, "Windows/System32/spool/drivers"},
      {55, "Windows/System32/spool/prtprocs"},
      {16422, "Program Files"},
      {16427, "Program Files/Common Files"},
  };
  return ids;
}
constexpr unsigned long kDefaultDirectoryId = 11;  // System32 when the INF names none

// Service types whose ImagePath the loader resolves without environment
// variables: kernel and file-system drivers.
constexpr std::uint32_t kKernelDriver = 1;
constexpr std::uint32_t kFileSystemDriver = 2;
constexpr std::uint32_t kAssociateService = 0x2;  // SPSVCINST_ASSOCSERVICE

// AddReg flags.
constexpr std::uint32_t kAddRegBinary = 0x00001;
constexpr std::uint32_t kAddRegNoClobber = 0x00002;
constexpr std::uint32_t kAddRegDelete = 0x00004;
constexpr std::uint32_t kAddRegAppend = 0x00008;
constexpr std::uint32_t kAddRegKeyOnly = 0x00010;
constexpr std::uint32_t kAddRegTypeMask = 0xFFFF0001;
constexpr std::uint32_t kAddRegMultiSz = 0x10000;
constexpr std::uint32_t kAddRegExpandSz = 0x20000;
constexpr std::uint32_t kAddRegDword = 0x10001;

bool Number(const std::wstring& text, std::uint32_t& value) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  unsigned long long v = std::wcstoull(text.c_str(), &end, 0);
  if (!end || *end != L'\0' || v > 0xFFFFFFFFull) return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

bool ValidComponent(const std::wstring& name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name)
    if (c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*' || c == L':' ||
        c == L'/' || c == L'\\')
      return false;
  return true;
}

// "a\b" -> "a/b", false when a component is not a valid name.
bool ImageSubPath(const std::wstring& text, std::string& out) {
  out.clear();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(L"\\/", start);
    std::wstring part = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    start = end == std::wstring::npos ? text.size() + 1 : end + 1;
    if (part.empty()) continue;
    if (!ValidComponent(part)) return false;
    out += (out.empty() ? "" : "/") + AnsiFromWide(part);
  }
  return true;
}

std::string JoinImage(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + "/" + b;
}

class Planner {
 public:
  Planner(const DriverPackage& package, const std::wstring& infPath, ImageArch arch, DriverInstall& out,
          std::wstring& message)
      : pkg_(package), inf_(package.inf), arch_(arch), out_(out), message_(message),
        quoted_(L"'" + infPath + L"'") {}

  HRESULT Run() {
    out_.classGuid = inf_.Value(L"Version", L"ClassGUID").value_or(L"");
    std::set<std::wstring> installs;
    for (const auto& modelsName : pkg_.modelSections) {
      const InfSection* models = inf_.Section(modelsName);
      if (!models) continue;
      for (const auto& model : models->lines) {
        if (model.fields.empty()) continue;
        const std::wstring install = InstallSection(model.fields.front());
        std::string service;
        if (HRESULT hr = Install(install, installs.insert(LowerCase(install)).second, service); Failed(hr)) return hr;
        if (service.empty()) continue;
        for (size_t i = 1; i < model.fields.size(); ++i)
          if (!model.fields[i].empty()) out_.bindings.push_back({model.fields[i], service});
      }
    }
    return S_OK;
  }

 private:
  HRESULT Fail(int line, const std::wstring& reason) {
    message_ = L"The driver package file " + quoted_ + (line ? L": line " + std::to_wstring(line) : L"") + L": " +
               reason + L".";
    return SPAPI_E_GENERAL_SYNTAX;
  }

  std::wstring InstallSection(const std::wstring& name) const {
    for (const std::wstring& candidate : {name + L".NT" + ArchName(arch_), name + L".NT", name})
      if (const InfSection* s = inf_.Section(candidate)) return s->name;
    return name;
  }

  // The lines of a section with the given directive key, their fields joined.
  std::vector<std::pair<const InfLine*, std::wstring>> Directives(const InfSection* section, const wchar_t* key) {
    std::vector<std::pair<const InfLine*, std::wstring>> found;
    if (!section) return found;
    for (const auto& line : section->lines)
      if (EqualsNoCase(line.key, key))
        for (const auto& field : line.fields)
          if (!field.empty()) found.emplace_back(&line, field);
    return found;
  }

  HRESULT Install(const std::wstring& installName, bool first, std::string& functionService) {
    const InfSection* install = inf_.Section(installName);
    if (first) {
      for (const auto& [line, list] : Directives(install, L"CopyFiles"))
        if (HRESULT hr = CopyFiles(*line, list); Failed(hr)) return hr;
      for (const auto& [line, list] : Directives(install, L"AddReg"))
        if (HRESULT hr = AddReg(list, {}, out_.controlSetValues, false); Failed(hr)) return hr;
    }
    const InfSection* services = inf_.Section(installName + L".Services");
    if (!services) return S_OK;
    for (const auto& line : services->lines) {
      if (!EqualsNoCase(line.key, L"AddService") || line.fields.empty()) continue;
      std::uint32_t flags = 0;
      if (line.fields.size() > 1 && !line.fields[1].empty() && !Number(line.fields[1], flags))
        return Fail(line.line, L"the AddService flags '" + line.fields[1] + L"' are no number");
      if (!ValidComponent(line.fields[0])) return Fail(line.line, L"the service name is not valid");
      const std::string name = AnsiFromWide(line.fields[0]);
      if (flags & kAssociateService) functionService = name;
      if (!first) continue;
      if (line.fields.size() < 3 || line.fields[2].empty())
        return Fail(line.line, L"AddService for '" + line.fields[0] + L"' names no service-install section");
      if (HRESULT hr = Service(line, name, flags & kAssociateService); Failed(hr)) return hr;
    }
    return S_OK;
  }

  HRESULT CopyFiles(const InfLine& line, const std::wstring& list) {
    auto destination = [&](const std::wstring& section, std::string& folder) -> HRESULT {
      const InfSection* dirs = inf_.Section(L"DestinationDirs");
      const InfLine* entry = nullptr;
      const InfLine* fallback = nullptr;
      if (dirs)
        for (const auto& d : dirs->lines) {
          if (!entry && EqualsNoCase(d.key, section)) entry = &d;
          if (!fallback && EqualsNoCase(d.key, L"DefaultDestDir")) fallback = &d;
        }
      if (!entry) entry = fallback;
      std::uint32_t id = kDefaultDirectoryId;
      if (entry && (entry->fields.empty() || !Number(entry->fields[0], id)))
        return Fail(entry->line, L"the destination folder id is no number");
      auto known = DirectoryIds().find(id);
      if (known == DirectoryIds().end())
        return Fail(entry ? entry->line : line.line,
                    L"the destination folder id " + std::to_wstring(id) + L" has no folder in an offline image");
      std::string sub;
      if (entry && entry->fields.size() > 1 && !ImageSubPath(entry->fields[1], sub))
        return Fail(entry->line, L"the destination subfolder '" + entry->fields[1] + L"' is not a valid path");
      folder = JoinImage(known->second, sub);
      return S_OK;
    };
    auto add = [&](const std::wstring& target, const std::wstring& source, const std::string& folder,
                   int at) -> HRESULT {
      if (!ValidComponent(target)) return Fail(at, L"the file name '" + target + L"' is not valid");
      auto it = pkg_.sources.find(LowerCase(source));
      if (it == pkg_.sources.end())
        return Fail(at, L"CopyFiles names '" + source + L"', which [SourceDisksFiles] does not list");
      out_.files.push_back({it->second, JoinImage(folder, AnsiFromWide(target))});
      return S_OK;
    };
    std::string folder;
    if (list[0] == L'@') {
      if (HRESULT hr = destination(L"DefaultDestDir", folder); Failed(hr)) return hr;
      return add(list.substr(1), list.substr(1), folder, line.line);
    }
    const InfSection* files = inf_.Section(list);
    if (!files) return Fail(line.line, L"the CopyFiles section [" + list + L"] does not exist");
    if (HRESULT hr = destination(files->name, folder); Failed(hr)) return hr;
    for (const auto& f : files->lines) {
      std::wstring target = !f.key.empty() ? f.key : f.fields.empty() ? L"" : f.fields[0];
      size_t sourceAt = f.key.empty() ? 1 : 0;
      std::wstring source = f.fields.size() > sourceAt && !f.fields[sourceAt].empty() ? f.fields[sourceAt] : target;
      if (target.empty()) continue;
      if (HRESULT hr = add(target, source, folder, f.line); Failed(hr)) return hr;
    }
    return S_OK;
  }

  // "%12%\x.sys" as the service's ImagePath.
  std::wstring ImagePath(const std::wstring& binary, std::uint32_t type) const {
    const bool kernel = type == kKernelDriver || type == kFileSystemDriver;
    const std::wstring root = kernel ? L"\\SystemRoot" : L"%SystemRoot%";
    static const std::map<std::wstring, std::wstring> prefixes = {
        {L"%10%", L""}, {L"%11%", L"\\System32"}, {L"%12%", L"\\System32\\drivers"}};
    for (const auto& [id, folder] : prefixes)
      if (binary.size() > id.size() && EqualsNoCase(binary.substr(0, id.size()), id) &&
          (binary[id.size()] == L'\\' || binary[id.size()] == L'/'))
        return root + folder + L"\\" + binary.substr(id.size() + 1);
    return binary;
  }

  HRESULT Service(const InfLine& line, const std::string& name, bool function) {
    const InfSection* section = inf_.Section(line.fields[2]);
    if (!section) return Fail(line.line, L"the service-install section [" + line.fields[2] + L"] does not exist");
    InstallService service{name, function, {}};
    const std::string key = "Services\\" + name;
    auto value = [&](const wchar_t* k) -> const InfLine* {
      for (const auto& l : section->lines)
        if (EqualsNoCase(l.key, k) && !l.fields.empty()) return &l;
      return nullptr;
    };
    std::uint32_t numbers[3] = {};
    const wchar_t* required[3] = {L"ServiceType", L"StartType", L"ErrorControl"};
    const char* names[3] = {"Type", "Start", "ErrorControl"};
    for (int i = 0; i < 3; ++i) {
      const InfLine* v = value(required[i]);
      if (!v || !Number(v->fields[0], numbers[i]))
        return Fail(v ? v->line : section->line,
                    L"[" + section->name + L"] has no numeric " + std::wstring(required[i]));
      service.values.push_back({key, names[i], RegData::Dword(numbers[i])});
    }
    const InfLine* binary = value(L"ServiceBinary");
    if (!binary) return Fail(section->line, L"[" + section->name + L"] has no ServiceBinary");
    service.values.push_back({key, "ImagePath", RegData::String(ImagePath(binary->fields[0], numbers[0]), kRegExpandSz)});
    if (const InfLine* v = value(L"LoadOrderGroup")) service.values.push_back({key, "Group", RegData::String(v->fields[0])});
    if (const InfLine* v = value(L"DisplayName")) service.values.push_back({key, "DisplayName", RegData::String(v->fields[0])});
    if (const InfLine* v = value(L"Description")) service.values.push_back({key, "Description", RegData::String(v->fields[0])});
    if (const InfLine* v = value(L"Dependencies")) {
      std::vector<std::wstring> services, groups;
      for (const auto& d : v->fields)
        if (!d.empty()) (d[0] == L'+' ? groups : services).push_back(d[0] == L'+' ? d.substr(1) : d);
      if (!services.empty()) service.values.push_back({key, "DependOnService", RegData::MultiString(services)});
      if (!groups.empty()) service.values.push_back({key, "DependOnGroup", RegData::MultiString(groups)});
    }
    for (const auto& [l, list] : Directives(section, L"AddReg"))
      if (HRESULT hr = AddReg(list, key, service.values, true); Failed(hr)) return hr;
    out_.services.push_back(std::move(service));
    return S_OK;
  }

  // One AddReg section. HKR is the key hkr (empty: no key offline, skipped).
  HRESULT AddReg(const std::wstring& sectionName, const std::string& hkr, std::vector<InstallValue>& into,
                 bool hkrKnown) {
    const InfSection* section = inf_.Section(sectionName);
    if (!section) return Fail(0, L"the AddReg section [" + sectionName + L"] does not exist");
    static const std::wstring kControlSet = L"system\\currentcontrolset";
    for (const auto& line : section->lines) {
      if (line.fields.empty()) continue;
      const std::wstring root = LowerCase(line.fields[0]);
      std::wstring subkey = line.fields.size() > 1 ? line.fields[1] : L"";
      std::string base;
      if (root == L"hkr") {
        if (!hkrKnown) continue;
        base = hkr;
      } else if (root == L"hklm" || root == L"hkey_local_machine") {
        std::wstring lower = LowerCase(subkey);
        if (lower.rfind(kControlSet, 0) != 0 ||
            (lower.size() > kControlSet.size() && lower[kControlSet.size()] != L'\\'))
          continue;  // another hive, or the system key itself
        subkey = subkey.size() > kControlSet.size() ? subkey.substr(kControlSet.size() + 1) : L"";
      } else {
        continue;  // HKCR, HKCU, HKU: not in the SYSTEM hive
      }
      std::string sub;
      if (!ImageSubPath(subkey, sub)) return Fail(line.line, L"the registry key '" + subkey + L"' is not valid");
      for (auto& c : sub) c = c == '/' ? '\\' : c;
      InstallValue v;
      v.key = base.empty() ? sub : sub.empty() ? base : base + "\\" + sub;
      v.name = line.fields.size() > 2 ? AnsiFromWide(line.fields[2]) : "";
      std::uint32_t flags = 0;
      if (line.fields.size() > 3 && !line.fields[3].empty() && !Number(line.fields[3], flags))
        return Fail(line.line, L"the AddReg flags '" + line.fields[3] + L"' are no number");
      if (flags & (kAddRegDelete | kAddRegAppend)) continue;  // nothing to remove or extend in a fresh key
      v.keepExisting = flags & kAddRegNoClobber;
      if ((flags & kAddRegKeyOnly) || (line.fields.size() <= 2)) {
        v.keyOnly = true;
        into.push_back(std::move(v));
        continue;
      }
      std::vector<std::wstring> data(line.fields.begin() + std::min<size_t>(4, line.fields.size()), line.fields.end());
      const std::uint32_t type = flags & kAddRegTypeMask;
      if (type == kAddRegDword) {
        std::uint32_t n = 0;
        if (!data.empty() && !Number(data[0], n))
          return Fail(line.line, L"the value '" + data[0] + L"' is no number");
        v.data = RegData::Dword(n);
      } else if (type == kAddRegMultiSz) {
        v.data = RegData::MultiString(data);
      } else if (flags & kAddRegBinary) {
        v.data = RegData{kRegBinary, {}};
        for (const auto& byte : data) {
          std::uint32_t b = 0;
          if (!Number(L"0x" + byte, b) || b > 0xFF) return Fail(line.line, L"the byte '" + byte + L"' is not hexadecimal");
          v.data.bytes += static_cast<char>(b);
        }
      } else {
        v.data = RegData::String(data.empty() ? L"" : data[0], type == kAddRegExpandSz ? kRegExpandSz : kRegSz);
      }
      into.push_back(std::move(v));
    }
    return S_OK;
  }

  const DriverPackage& pkg_;
  const InfFile& inf_;
  ImageArch arch_;
  DriverInstall& out_;
  std::wstring& message_;
  std::wstring quoted_;
};

}  // namespace

std::string CriticalDeviceKey(const std::wstring& id) {
  std::string key = AnsiFromWide(LowerCase(id));
  for (auto& c : key)
    if (c == '\\') c = '#';
  return key;
}

HRESULT PlanDriverInstall(const DriverPackage& package, const std::wstring& infPath, ImageArch arch,
                          DriverInstall& out, std::wstring& message) {
  out = DriverInstall();
  return Planner(package, infPath, arch, out, message).Run();
}

}  // namespace platform::dism
