#include "drivers/runosfolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "disk/appfolders.h"
#include "drivers/safefolder.h"
#include "platform/fs/paths.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"

namespace drivers {
namespace {

namespace fs = std::filesystem;
constexpr const char* kAutoUnattend = "AutoUnattend";
constexpr const char* kRunOsFolder = "OS";
constexpr unsigned kFileMode = 0644;
constexpr size_t kCopyBlock = 1 << 20;

const char* ArchOf(bool is64) { return is64 ? "amd64" : "x86"; }

bool CopyFile(const std::string& from, const std::string& root, const std::string& relative) {
  UniqueFd in(open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  UniqueFd out = in ? CreateNewFile(root, relative, kFileMode) : UniqueFd();
  if (!out) return false;
  std::string buffer(kCopyBlock, '\0');
  for (;;) {
    const ssize_t n = read(in.get(), buffer.data(), buffer.size());
    if (n < 0) return false;
    if (n == 0) break;
    if (!WriteAll(out.get(), buffer.data(), static_cast<size_t>(n))) return false;
  }
  return out.Close();
}

// Copies the tree below from into root/relative; links are left out.
bool CopyTree(const std::string& from, const std::string& root, const std::string& relative, std::string& error) {
  std::error_code ec;
  if (!MakeFolders(root, relative)) {
    error = root + "/" + relative;
    return false;
  }
  for (fs::recursive_directory_iterator it(from, fs::directory_options::none, ec), end; !ec && it != end;
       it.increment(ec)) {
    const fs::file_status st = it->symlink_status(ec);
    const std::string rel = relative + (relative.empty() ? "" : "/") + fs::relative(it->path(), from).string();
    if (fs::is_directory(st)) {
      if (!MakeFolders(root, rel)) {
        error = root + "/" + rel;
        return false;
      }
    } else if (fs::is_regular_file(st) && !CopyFile(it->path().string(), root, rel)) {
      error = it->path().string();
      return false;
    }
  }
  if (ec) error = from + ": " + ec.message();
  return !ec;
}

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
  if (!CopyTree(programOsHost, targetHost, "", error)) return false;
  for (const PackageRecord& record : library.ForArch(ArchOf(is64))) {
    const std::string place =
        std::string(kAutoUnattend) + "/" + VendorFolder(PackageVendor(record.hardwareIds), is64) + "/" + record.name;
    if (!CopyTree(library.FilesFolder(record.name), targetHost, place, error)) return false;
  }
  return true;
}

bool LibraryServes(bool is64) { return !DriverLibrary(CurrentLibraryPlace()).ForArch(ArchOf(is64)).empty(); }

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
  return targetSystem;
}

}  // namespace drivers
