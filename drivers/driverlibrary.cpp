#include "drivers/driverlibrary.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "drivers/safefolder.h"
#include "platform/fs/readfile.h"

namespace drivers {
namespace {

namespace fs = std::filesystem;
constexpr const char* kRecordFile = "record.ini";
constexpr const char* kFilesFolder = "files";
constexpr const char* kStagingPrefix = ".adding-";
constexpr const char* kRemovingPrefix = ".removing-";
constexpr unsigned kFileMode = 0644;
constexpr size_t kCopyBlock = 1 << 20;

std::string Now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

// A package name as the library makes them: no separators, no dot names.
bool PlainName(const std::string& name) {
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
         std::none_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20; });
}

bool CopyInto(const std::string& from, const std::string& root, const std::string& relative) {
  UniqueFd in(open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!in) return false;
  UniqueFd out = CreateNewFile(root, relative, kFileMode);
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

bool WriteNew(const std::string& root, const std::string& relative, const std::string& text) {
  UniqueFd out = CreateNewFile(root, relative, kFileMode);
  return out && WriteAll(out.get(), text.data(), text.size()) && out.Close();
}

}  // namespace

bool DriverLibrary::MayChange(std::string& error) const {
  if (place_.system && geteuid() != 0) {
    error = place_.folder;
    return false;
  }
  return true;
}

AddOutcome DriverLibrary::Add(const FoundPackage& package, const std::string& origin, bool sample,
                              std::string& error) {
  if (!MayChange(error) || !TrustedFolder(place_.folder, true, error)) return AddOutcome::Failed;
  const std::string target = place_.folder + "/" + package.record.name;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(target, ec))) {
    // The name holds 16 digits of the digest; the record holds all of it.
    std::string bytes;
    PackageRecord there;
    if (platform::ReadHostFile(target + "/" + kRecordFile, bytes) == 0 && ParseRecord(bytes, there) &&
        !there.digest.empty() && there.digest == package.record.digest)
      return AddOutcome::AlreadyThere;
    error = target;
    return AddOutcome::Failed;
  }

  const std::string staging = MakePrivateFolder(place_.folder, kStagingPrefix);
  if (staging.empty()) {
    error = place_.folder;
    return AddOutcome::Failed;
  }
  PackageRecord record = package.record;
  record.origin = origin;
  record.added = Now();
  record.sample = sample;
  bool ok = true;
  for (const auto& file : package.files)
    if (ok && !CopyInto(file.host, staging, std::string(kFilesFolder) + "/" + file.relative)) {
      error = file.host;
      ok = false;
    }
  if (ok && !WriteNew(staging, kRecordFile, RecordText(record))) {
    error = staging + "/" + kRecordFile;
    ok = false;
  }
  // Readable by everyone, as the rest of the library.
  if (ok && chmod(staging.c_str(), 0755) != 0) ok = false;
  if (ok && std::rename(staging.c_str(), target.c_str()) != 0) {
    error = target;
    ok = false;
  }
  if (!ok) {
    RemoveTree(staging);
    return AddOutcome::Failed;
  }
  UniqueFd dir(open(place_.folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir) fsync(dir.get());
  return AddOutcome::Added;
}

bool DriverLibrary::Remove(const std::string& name, std::string& error) {
  if (!MayChange(error) || !TrustedFolder(place_.folder, false, error)) return false;
  const std::string target = place_.folder + "/" + name;
  std::error_code ec;
  if (!PlainName(name) || !fs::is_directory(fs::symlink_status(target, ec))) {
    error = name;
    return false;
  }
  // Renamed away first: a removal cut short leaves a hidden folder, never a
  // package missing some of its files.
  const std::string doomed = MakePrivateFolder(place_.folder, kRemovingPrefix);
  if (doomed.empty() || std::rename(target.c_str(), (doomed + "/package").c_str()) != 0) {
    if (!doomed.empty()) RemoveTree(doomed);
    error = target;
    return false;
  }
  RemoveTree(doomed);
  return true;
}

std::vector<PackageRecord> DriverLibrary::List() const {
  std::vector<PackageRecord> records;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(place_.folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (!PlainName(name) || !fs::is_directory(entry.symlink_status(ec))) continue;
    std::string bytes;
    if (platform::ReadHostFile(entry.path().string() + "/" + kRecordFile, bytes) != 0) continue;
    PackageRecord record;
    if (ParseRecord(bytes, record) && record.name == name) records.push_back(std::move(record));
  }
  std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return records;
}

std::vector<PackageRecord> DriverLibrary::ForArch(const std::string& arch) const {
  std::vector<PackageRecord> out;
  for (auto& record : List())
    if (record.Serves(arch) && (!record.sample || place_.samplesCount)) out.push_back(std::move(record));
  return out;
}

std::string DriverLibrary::FilesFolder(const std::string& name) const {
  return place_.folder + "/" + name + "/" + kFilesFolder;
}

}  // namespace drivers
