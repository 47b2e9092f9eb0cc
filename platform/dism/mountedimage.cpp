#include "platform/dism/mountedimage.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "platform/dism/openwims.h"
#include "platform/dism/wimfile.h"
#include "platform/lasterror.h"
#include "platform/fs/paths.h"
#include "platform/littleendian.h"
#include "platform/lowercase.h"
#include "platform/text.h"
#include "platform/number.h"

namespace platform::dism {

namespace fs = std::filesystem;

namespace {

constexpr char kInfFolder[] = "Windows/INF";
constexpr char kStoreFolder[] = "Windows/System32/DriverStore/FileRepository";
constexpr char kKernelFile[] = "/Windows/System32/ntoskrnl.exe";
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMachineIa64 = 0x0200;
constexpr UINT kPercent = 100;

std::wstring Quote(const std::wstring& path) { return L"'" + path + L"'"; }

// "oem12.inf" -> 12.
bool OemNumber(const std::string& name, unsigned& n) {
  std::wstring lower = LowerCase(WideFromAnsi(name));
  if (lower.size() < 8 || lower.rfind(L"oem", 0) != 0 || lower.substr(lower.size() - 4) != L".inf") return false;
  std::wstring digits = lower.substr(3, lower.size() - 7);
  if (digits.size() > 9) return false;
  const std::optional<unsigned> number = ParseNumber<unsigned>(std::wstring_view(digits));
  if (!number) return false;
  n = *number;
  return true;
}

// The machine field of a PE image, 0 when it is none.
std::uint16_t PeMachine(const std::string& host) {
  std::ifstream in(host, std::ios::binary);
  char header[0x40] = {};
  if (!in.read(header, sizeof header) || header[0] != 'M' || header[1] != 'Z') return 0;
  const std::uint32_t offset = ReadLe32(header + 0x3C);
  char pe[6] = {};
  in.seekg(offset);
  if (!in.read(pe, sizeof pe) || pe[0] != 'P' || pe[1] != 'E' || pe[2] || pe[3]) return 0;
  return static_cast<std::uint16_t>(static_cast<unsigned char>(pe[4]) | static_cast<unsigned char>(pe[5]) << 8);
}

// The image's architecture: its description in the WIM, else the kernel's
// machine type.
bool ImageArchitecture(WimFile& wim, int image, ImageArch& arch) {
  if (auto value = wim.Property(image, "WINDOWS/ARCH")) {
    if (*value == L"0") return arch = ImageArch::X86, true;
    if (*value == L"9") return arch = ImageArch::Amd64, true;
    if (*value == L"6") return arch = ImageArch::Ia64, true;
  }
  char temp[] = "/tmp/kx-dism-XXXXXX";
  if (!::mkdtemp(temp)) return false;
  std::uint16_t machine = 0;
  if (wim.ExtractFile(image, kKernelFile, temp) == 0) machine = PeMachine(std::string(temp) + "/ntoskrnl.exe");
  std::error_code ec;
  fs::remove_all(temp, ec);
  if (machine == kMachineI386) return arch = ImageArch::X86, true;
  if (machine == kMachineAmd64) return arch = ImageArch::Amd64, true;
  if (machine == kMachineIa64) return arch = ImageArch::Ia64, true;
  return false;
}

void Notify(const PercentSink& progress, UINT current) {
  if (progress) progress(current, kPercent);
}

}  // namespace

void EmptyFolder(const std::string& host) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(host, ec)) {
    std::error_code inner;
    fs::remove_all(entry.path(), inner);
  }
}

HRESULT MountImage(const std::wstring& wimPath, const std::wstring& mountPath, UINT index, const wchar_t* name,
                   bool byName, bool readOnly, const PercentSink& progress, MountRecord& record,
                   std::wstring& message) {
  record = MountRecord();
  record.wimPath = wimPath;
  record.mountPath = mountPath;
  record.readOnly = readOnly;
  std::error_code ec;
  if (!ResolvePath(wimPath, record.wimHost) || !fs::is_regular_file(record.wimHost, ec)) {
    message = L"The image file " + Quote(wimPath) + L" does not exist.";
    return HResultFromWin32(ec ? ErrorFromErrno(ec.value()) : ERROR_FILE_NOT_FOUND);
  }
  if (!ResolvePath(mountPath, record.mountHost) || !fs::is_directory(record.mountHost, ec)) {
    message = L"The mount folder " + Quote(mountPath) + L" does not exist.";
    return HResultFromWin32(ERROR_PATH_NOT_FOUND);
  }
  record.wimHost = CanonicalHost(record.wimHost);
  record.mountHost = CanonicalHost(record.mountHost);
  if (!fs::is_empty(record.mountHost, ec)) {
    message = L"The mount folder " + Quote(mountPath) + L" is not empty.";
    return HResultFromWin32(ERROR_DIR_NOT_EMPTY);
  }
  Notify(progress, 0);

  auto opened = std::make_unique<WimFile>();
  WimFile& wim = *opened;
  errno = 0;
  if (int rc = wim.Open(record.wimHost, !readOnly))
    return WimFailure(rc, errno, L"The image file " + Quote(wimPath) + L" cannot be opened", message);
  if (byName) {
    index = 0;
    for (int i = 1; i <= wim.ImageCount(); ++i)
      if (name && EqualsNoCase(wim.ImageName(i), name)) index = static_cast<UINT>(i);
    if (index == 0) {
      message = L"The image file " + Quote(wimPath) + L" has no image named '" + (name ? name : L"") + L"'.";
      return DISMAPI_E_INVALID_IMAGE_NAME;
    }
  }
  if (index < 1 || index > static_cast<UINT>(wim.ImageCount())) {
    message = L"The image file " + Quote(wimPath) + L" has no image " + std::to_wstring(index) + L"; it holds " +
              std::to_wstring(wim.ImageCount()) + L".";
    return DISMAPI_E_INVALID_IMAGE_INDEX;
  }
  record.index = index;
  // Reading the root proves that the image's metadata can be read.
  std::vector<std::string> names;
  if (int rc = wim.ListFolder(static_cast<int>(index), "/", names))
    return WimFailure(rc, errno, L"Image " + std::to_wstring(index) + L" of " + Quote(wimPath) + L" cannot be read",
                      message);
  Notify(progress, kPercent / 2);

  bool taken = false;
  for (const auto& other : MountRegistry::Load()) {
    if (StatusOf(other) != DismMountStatusOk) continue;
    bool sameImage = other.wimHost == record.wimHost && other.index == index;
    if ((sameImage && (!readOnly || !other.readOnly)) || other.mountHost == record.mountHost) taken = true;
  }
  if (taken) {
    message = L"Image " + std::to_wstring(index) + L" of " + Quote(wimPath) + L" is already mounted for writing.";
    return DISMAPI_E_IMAGE_ALREADY_MOUNTED;
  }

  if (!fs::create_directory(fs::path(record.mountHost) / "Windows", ec) ||
      !FileStamp(record.wimHost, record.wimSize, record.wimTime)) {
    message = L"The mount folder " + Quote(mountPath) + L" cannot be prepared.";
    return HResultFromWin32(ec ? ErrorFromErrno(ec.value()) : ERROR_ACCESS_DENIED);
  }
  bool saved = MountRegistry::Update([&](std::vector<MountRecord>& records) {
    for (const auto& r : records) record.id = std::max(record.id, r.id);
    ++record.id;
    records.push_back(record);
  });
  if (!saved) {
    EmptyFolder(record.mountHost);
    message = L"The mount of " + Quote(wimPath) + L" cannot be recorded.";
    return HResultFromWin32(ERROR_ACCESS_DENIED);
  }
  MountRegistry::DropManifest(record.id);
  RememberWim(record.id, std::move(opened), !readOnly, record.wimHost);
  Notify(progress, kPercent);
  return S_OK;
}

HRESULT ReadImageFacts(const MountRecord& record, ImageFacts& facts, std::wstring& message) {
  facts = ImageFacts();
  WimFile* opened = nullptr;
  errno = 0;
  if (int rc = OpenWimFor(record, false, opened))
    return WimFailure(rc, errno, L"The image file " + Quote(record.wimPath) + L" cannot be opened", message);
  WimFile& wim = *opened;
  const int image = static_cast<int>(record.index);
  if (!ImageArchitecture(wim, image, facts.arch)) {
    message = L"The architecture of image " + std::to_wstring(image) + L" of " + Quote(record.wimPath) +
              L" cannot be told: neither its description nor its kernel names it.";
    return DISMAPI_E_NO_ARCHITECTURE;
  }
  auto major = wim.Property(image, "WINDOWS/VERSION/MAJOR");
  auto minor = wim.Property(image, "WINDOWS/VERSION/MINOR");
  if (major && minor) facts.version = {static_cast<int>(std::wcstol(major->c_str(), nullptr, 10)), static_cast<int>(std::wcstol(minor->c_str(), nullptr, 10))};

  std::vector<std::string> names;
  int rc = wim.ListFolder(image, std::string("/") + kInfFolder, names);
  if (rc && rc != kWimPathDoesNotExist)
    return WimFailure(rc, errno, L"Image " + std::to_wstring(image) + L" of " + Quote(record.wimPath) +
                                     L" cannot be read", message);
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(record.mountHost) / kInfFolder, ec))
    names.push_back(entry.path().filename().string());
  for (const auto& n : names) {
    unsigned number = 0;
    if (OemNumber(n, number)) facts.oemNumbers.insert(number);
  }
  names.clear();
  rc = wim.ListFolder(image, std::string("/") + kStoreFolder, names);
  if (rc && rc != kWimPathDoesNotExist)
    return WimFailure(rc, errno, L"Image " + std::to_wstring(image) + L" of " + Quote(record.wimPath) +
                                     L" cannot be read", message);
  for (const auto& entry : fs::directory_iterator(fs::path(record.mountHost) / kStoreFolder, ec))
    names.push_back(entry.path().filename().string());
  for (const auto& n : names) facts.storeFolders.insert(LowerCase(WideFromAnsi(n)));
  facts.loaded = true;
  return S_OK;
}

HRESULT StageDriver(const MountRecord& record, ImageFacts& facts, const std::wstring& infPath,
                    std::wstring& message) {
  if (!facts.hive.checked) {
    WimFile* opened = nullptr;
    errno = 0;
    if (int rc = OpenWimFor(record, false, opened))
      return WimFailure(rc, errno, L"The image file " + Quote(record.wimPath) + L" cannot be opened", message);
    if (HRESULT hr = PrepareHive(record, *opened, facts.hive, message); Failed(hr)) return hr;
  }
  DriverPackage package;
  if (HRESULT hr = LoadDriverPackage(infPath, facts.arch, facts.version, package, message); Failed(hr)) return hr;
  DriverInstall plan;
  if (HRESULT hr = PlanDriverInstall(package, infPath, facts.arch, plan, message); Failed(hr)) return hr;
  const std::wstring folderName = package.StoreFolderName(facts.arch);
  // Already in the image: its files are in place; its registration is made
  // good where it differs (and is left alone where it does not).
  if (facts.storeFolders.count(LowerCase(folderName)))
    return RegisterDriver(record, facts.hive, package, plan, false, message);

  const fs::path store = fs::path(record.mountHost) / kStoreFolder / AnsiFromWide(folderName);
  std::error_code ec;
  std::set<fs::path> folders;  // made already: each is made once
  auto write = [&](const fs::path& target, const std::string& bytes) {
    if (ec) return;
    if (folders.insert(target.parent_path()).second) fs::create_directories(target.parent_path(), ec);
    if (ec) return;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush())
      ec = std::error_code(errno ? errno : EIO, std::generic_category());
  };
  for (const auto& file : package.files) {
    std::string relative = AnsiFromWide(file.relative);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    write(store / relative, file.bytes);
  }
  unsigned n = 0;
  while (facts.oemNumbers.count(n)) ++n;
  const fs::path published = fs::path(record.mountHost) / kInfFolder / ("oem" + std::to_string(n) + ".inf");
  write(published, package.files.front().bytes);
  HRESULT registered = S_OK;
  if (ec || Failed(registered = RegisterDriver(record, facts.hive, package, plan, true, message))) {
    std::error_code ignored;
    fs::remove_all(store, ignored);
    fs::remove(published, ignored);
    if (!ec) return registered;
    message = L"The driver package " + Quote(infPath) + L" cannot be staged in " + Quote(record.mountPath) + L": " +
              WideFromAnsi(ec.message()) + L".";
    return HResultFromWin32(ErrorFromErrno(ec.value()));
  }
  facts.oemNumbers.insert(n);
  facts.storeFolders.insert(LowerCase(folderName));
  return S_OK;
}

}  // namespace platform::dism
