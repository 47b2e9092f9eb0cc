#include "drivers/runosfolder.h"

#include <algorithm>
#include <filesystem>

#include "disk/appfolders.h"
#include "disk/tracelog.h"
#include "drivers/safefolder.h"
#include "platform/fs/paths.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"

namespace drivers {
namespace {

namespace fs = std::filesystem;
constexpr const char* kAutoUnattend = "AutoUnattend";
constexpr const char* kRunOsFolder = "OS";

const char* ArchOf(bool is64) { return is64 ? "amd64" : "x86"; }

}  // namespace

std::string VendorFolder(const std::string& vendor, bool is64) {
  const std::string arch = is64 ? "x64" : "x86";
  if (vendor == "8086") return "Intel/Win7/" + arch;
  if (vendor == "1022") return "AMD/" + arch;
  if (vendor == "1b21") return "Asmedia";
  return "Others";
}

bool MaterialiseRunOsFolder(const std::string& programOsHost, const DriverLibrary& library, bool is64,
                            const std::string& targetHost, std::string& error) {
  if (!RemoveTree(targetHost)) {
    error = targetHost;
    return false;
  }
  std::error_code ec;
  fs::create_directories(targetHost, ec);
  if (ec) {
    error = targetHost + ": " + ec.message();
    return false;
  }
  if (!CopyTreeWithoutLinks(programOsHost, targetHost, "", error)) return false;
  for (const PackageRecord& record : library.ForArch(ArchOf(is64))) {
    const std::string folder = record.kind == PackageKind::Storage ? std::string(kStorageFolder)
                                                                   : VendorFolder(PackageVendor(record.hardwareIds), is64);
    const std::string place = std::string(kAutoUnattend) + "/" + folder + "/" + record.name;
    if (!CopyTreeWithoutLinks(library.FilesFolder(record.name), targetHost, place, error)) return false;
  }
  return true;
}

std::vector<PackageRecord> PackagesWithFindings(bool is64) {
  std::vector<PackageRecord> out;
  for (auto& record : DriverLibrary(CurrentLibraryPlace()).ForArch(ArchOf(is64)))
    if (!record.findings.empty()) out.push_back(std::move(record));
  return out;
}

namespace {

bool LibraryHolds(bool is64, PackageKind kind) {
  for (const auto& record : DriverLibrary(CurrentLibraryPlace()).ForArch(ArchOf(is64)))
    if (record.kind == kind) return true;
  return false;
}

}  // namespace

bool LibraryServes(bool is64) { return LibraryHolds(is64, PackageKind::Usb); }
bool LibraryHoldsStorage(bool is64) { return LibraryHolds(is64, PackageKind::Storage); }

std::vector<std::string> StoragePackagesIn(const std::wstring& runOsFolder) {
  std::vector<std::string> names;
  std::string host;
  if (runOsFolder.empty() || !platform::ResolvePath(runOsFolder, host)) return names;
  const fs::path folder = fs::path(host) / kAutoUnattend / kStorageFolder;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_directory(ec) && !it->is_symlink(ec)) names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring PrepareRunOsFolder(bool is64, std::wstring& error) {
  std::string programOs;
  std::string target;
  const std::wstring targetSystem = platform::WideFromAnsi(GetAppDataFolder()) + platform::WideFromAnsi(kRunOsFolder);
  if (!platform::ResolvePath(platform::GetProgramFolder() + L"OS", programOs) ||
      !platform::ResolvePath(targetSystem, target)) {
    error = targetSystem;
    return {};
  }
  std::string why;
  if (!MaterialiseRunOsFolder(programOs, DriverLibrary(CurrentLibraryPlace()), is64, target, why)) {
    error = platform::WideFromAnsi(why);
    return {};
  }
  for (const auto& record : PackagesWithFindings(is64)) {
    std::string lines;
    for (const auto& f : record.findings) lines += (lines.empty() ? "" : "; ") + f;
    TraceLog(L"Warning: driver package " + platform::WideFromAnsi(record.name) +
             L" is not signed for Windows or does not match its catalog" +
             (record.unsignedAllowed ? L" (added with --unsigned): " : L": ") + platform::WideFromAnsi(lines));
  }
  return targetSystem;
}

}  // namespace drivers
