#include "platform/dism/driverregistration.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/dism/systemhive.h"
#include "platform/lasterror.h"
#include "platform/fs/readfile.h"
#include "platform/text.h"

namespace platform::dism {

namespace fs = std::filesystem;

const char kSystemHivePath[] = "Windows/System32/config/SYSTEM";

namespace {

const wchar_t kHiveName[] = L"Windows\\System32\\config\\SYSTEM";

std::wstring ImageName(const MountRecord& record) {
  return L"image " + std::to_wstring(record.index) + L" of '" + record.wimPath + L"'";
}

std::wstring Reason(int err) { return WideFromAnsi(std::strerror(err)); }

bool SameContent(const fs::path& file, const std::string& bytes) {
  std::string present;
  return ReadHostFile(file.string(), present, bytes.size()) == ERROR_SUCCESS && present == bytes;
}

// Writes through a temporary name, so that the mount folder never holds a
// half-written file that a commit could pick up.
int WriteWhole(const fs::path& target, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  if (ec) return ec.value();
  const fs::path temp = target.string() + ".kx-new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) {
      int err = errno ? errno : EIO;
      fs::remove(temp, ec);
      return err;
    }
  }
  fs::rename(temp, target, ec);
  if (ec) fs::remove(temp, ec);
  return ec.value();
}

// The image's file systems ignore case: a file that the mount folder holds
// under another spelling is the same file, and is the one replaced.
fs::path ExistingSpelling(const fs::path& target) {
  std::error_code ec;
  if (fs::exists(target, ec)) return target;
  const std::string name = target.filename().string();
  for (const auto& entry : fs::directory_iterator(target.parent_path(), ec))
    if (EqualsNoCase(entry.path().filename().string(), name)) return entry.path();
  return target;
}

}  // namespace

HRESULT PrepareHive(const MountRecord& record, WimFile& wim, HiveState& hive, std::wstring& message) {
  hive = HiveState();
  const int image = static_cast<int>(record.index);
  std::string host = record.mountHost + "/" + kSystemHivePath;
  std::error_code ec;
  if (!fs::exists(host, ec)) {
    bool present = false;
    const std::string inImage = std::string("/") + kSystemHivePath;
    if (int rc = wim.Exists(image, inImage, present))
      return WimFailure(rc, errno, L"The registry of " + ImageName(record) + L" cannot be read", message);
    if (!present) {
      message = L"The " + ImageName(record) + L" has no registry hive " + kHiveName +
                L"; drivers cannot be installed into it.";
      return HResultFromWin32(ERROR_FILE_NOT_FOUND);
    }
    const std::string scratch = MountRegistry::ScratchFolder(record.id);
    fs::remove_all(scratch, ec);
    fs::create_directories(scratch, ec);
    if (int rc = wim.ExtractFile(image, inImage, scratch))
      return WimFailure(rc, errno, L"The registry hive " + std::wstring(kHiveName) + L" of " + ImageName(record) +
                                       L" cannot be extracted", message);
    host = scratch + "/SYSTEM";
  }
  auto opened = std::make_unique<SystemHive>();
  if (int err = opened->Open(host)) {
    message = L"The registry hive " + std::wstring(kHiveName) + L" of " + ImageName(record) +
              L" cannot be read: " + Reason(err) + L".";
    return HResultFromWin32(ERROR_BADDB);
  }
  hive.controlSet = opened->CurrentControlSet();
  if (hive.controlSet.empty()) {
    message = L"The registry hive " + std::wstring(kHiveName) + L" of " + ImageName(record) +
              L" is damaged: Select\\Current names no control set that the hive holds.";
    return HResultFromWin32(ERROR_BADDB);
  }
  hive.open = std::move(opened);
  hive.checked = true;
  return S_OK;
}

HRESULT RegisterDriver(const MountRecord& record, HiveState& hive, const DriverPackage& package,
                       const DriverInstall& plan, bool copyFiles, std::wstring& message) {
  std::vector<fs::path> written;
  auto undo = [&] {
    std::error_code ec;
    for (const auto& f : written) fs::remove(f, ec);
  };
  if (copyFiles) {
    for (const auto& file : plan.files) {
      const PackageFile* source = nullptr;
      for (const auto& f : package.files)
        if (EqualsNoCase(f.relative, file.source)) source = &f;
      if (!source) continue;  // the plan only names listed files, which were all read
      const fs::path target = ExistingSpelling(fs::path(record.mountHost) / file.target);
      if (SameContent(target, source->bytes)) continue;
      if (int err = WriteWhole(target, source->bytes)) {
        undo();
        message = L"The driver file '" + file.source + L"' cannot be copied into the " + ImageName(record) + L": " +
                  Reason(err) + L".";
        return HResultFromWin32(ErrorFromErrno(err));
      }
      written.push_back(target);
    }
  }

  auto hiveFailure = [&](const std::wstring& what, int err) {
    undo();
    hive.broken = true;
    message = L"The registry hive " + std::wstring(kHiveName) + L" of " + ImageName(record) + L" " + what +
              (err ? L": " + Reason(err) : std::wstring()) + L".";
    return HResultFromWin32(ERROR_BADDB);
  };
  if (!hive.open || hive.broken) return hiveFailure(L"cannot be changed after an earlier failure", 0);
  SystemHive& h = *hive.open;
  auto apply = [&](const InstallValue& v) {
    SystemHive::Node key = h.Key(hive.controlSet + "\\" + v.key, true);
    return key && (v.keyOnly || h.Set(key, v.name, v.data, v.keepExisting));
  };
  for (const auto& service : plan.services)
    for (const auto& v : service.values)
      if (!apply(v)) return hiveFailure(L"cannot take the service " + WideFromAnsi(service.name), errno);
  for (const auto& v : plan.controlSetValues)
    if (!apply(v)) return hiveFailure(L"cannot take the value " + WideFromAnsi(v.key), errno);
  for (const auto& binding : plan.bindings) {
    const std::string key = "Control\\CriticalDeviceDatabase\\" + CriticalDeviceKey(binding.id);
    if (!apply({key, "Service", RegData::String(WideFromAnsi(binding.service))}) ||
        (!plan.classGuid.empty() && !apply({key, "ClassGUID", RegData::String(plan.classGuid)})))
      return hiveFailure(L"cannot bind the device " + binding.id, errno);
  }
  return S_OK;
}

HRESULT FlushHive(const MountRecord& record, HiveState& hive, std::wstring& message) {
  if (!hive.open || hive.broken || !hive.open->Changed()) return S_OK;
  const fs::path target = fs::path(record.mountHost) / kSystemHivePath;
  const std::string temp = target.string() + ".kx-new";
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  int err = ec ? ec.value() : hive.open->Commit(temp);
  if (!err) {
    fs::rename(temp, target, ec);
    err = ec.value();
  }
  if (err) {
    fs::remove(temp, ec);
    message = L"The registry hive " + std::wstring(kHiveName) + L" of " + ImageName(record) +
              L" cannot be written: " + Reason(err) + L".";
    return HResultFromWin32(ErrorFromErrno(err));
  }
  return S_OK;
}

}  // namespace platform::dism
