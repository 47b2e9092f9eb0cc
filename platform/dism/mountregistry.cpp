#include "platform/dism/mountregistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/fs/paths.h"
#include "platform/fs/readfile.h"
#include "platform/fs/sysfolders.h"
#include "platform/machine/machine.h"
#include "platform/machine/profileplaces.h"
#include "platform/text.h"
#include "platform/uniquefd.h"
#include "platform/number.h"

namespace platform::dism {

namespace {

constexpr char kRegistryName[] = "dism-mounts.txt";
constexpr char kLockName[] = "dism-mounts.lock";
// Far above the lines of the few mounts a machine holds at a time.
constexpr std::size_t kRecordLimit = 1u << 20;

std::string PrefixFile(const std::string& name) {
  std::string prefix = CurrentMachine().Prefix();
  if (prefix.empty()) prefix = DefaultPrefix();
  ::mkdir(prefix.c_str(), 0755);
  return prefix + "/" + name;
}

// An exclusive advisory lock on the registry for the life of the object.
class RegistryLock {
 public:
  RegistryLock() : fd_(OpenPrefixFile(PrefixFile(kLockName), O_RDWR | O_CREAT | O_NONBLOCK, 0644)) {
    if (fd_) ::flock(fd_.get(), LOCK_EX);
  }

 private:
  UniqueFd fd_;
};

// The first line of the files in the present format. Fields are separated
// by tabs, and every character that could end a field or a line (or is not
// plain printable ASCII) is written as '%' and its code in hexadecimal, so
// any path, with tabs, newlines or any other character, reads back as it
// was written.
constexpr char kRecordsHeader[] = "kx-dism-mounts 2";
constexpr char kManifestHeader[] = "kx-dism-manifest 2";
constexpr int kWideDigits = 8;
constexpr int kByteDigits = 2;

bool Plain(unsigned long c) { return c > 0x20 && c < 0x7F && c != '%'; }

void AppendHex(std::string& out, unsigned long value, int digits) {
  static const char kHex[] = "0123456789abcdef";
  out += '%';
  for (int i = digits - 1; i >= 0; --i) out += kHex[(value >> (4 * i)) & 0xF];
}

std::string EncodeBytes(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (Plain(c)) out += static_cast<char>(c);
    else AppendHex(out, c, kByteDigits);
  }
  return out;
}

std::string EncodeWide(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    auto code = static_cast<unsigned long>(static_cast<std::uint32_t>(c));
    if (Plain(code)) out += static_cast<char>(code);
    else AppendHex(out, code, kWideDigits);
  }
  return out;
}

// Reads back what the encoders wrote; false for a malformed field.
template <typename Text>
bool Decode(const std::string& field, int digits, Text& out) {
  out.clear();
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += static_cast<typename Text::value_type>(static_cast<unsigned char>(field[i]));
      continue;
    }
    if (i + static_cast<size_t>(digits) >= field.size()) return false;
    unsigned long value = 0;
    for (int d = 1; d <= digits; ++d) {
      char h = field[i + static_cast<size_t>(d)];
      int v = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : -1;
      if (v < 0) return false;
      value = value << 4 | static_cast<unsigned long>(v);
    }
    out += static_cast<typename Text::value_type>(value);
    i += static_cast<size_t>(digits);
  }
  return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(line);
  while (std::getline(in, part, '\t')) parts.push_back(part);
  return parts;
}

std::vector<MountRecord> Read() {
  std::vector<MountRecord> records;
  // Through the bounded reader: a pipe or a device at that name must not
  // block or grow the process; a record that cannot be read is none.
  std::string bytes;
  if (ReadHostFile(PrefixFile(kRegistryName), bytes, kRecordLimit) != ERROR_SUCCESS) return records;
  std::istringstream in(bytes);
  std::string line;
  // Files written before paths were encoded hold them as they are.
  bool encoded = false;
  bool first = true;
  while (std::getline(in, line)) {
    if (first && line == kRecordsHeader) {
      encoded = true;
      first = false;
      continue;
    }
    first = false;
    auto p = SplitTabs(line);
    if (p.size() != 9) continue;
    MountRecord r;
    // A damaged line is a mount nobody can use.
    const auto id = ParseNumber<unsigned>(p[0]);
    const auto index = ParseNumber<UINT>(p[5]);
    const auto wimSize = ParseNumber<decltype(r.wimSize)>(p[7]);
    const auto wimTime = ParseNumber<decltype(r.wimTime)>(p[8]);
    if (!id || !index || !wimSize || !wimTime) continue;
    r.id = *id;
    if (encoded) {
      if (!Decode(p[1], kWideDigits, r.mountPath) || !Decode(p[2], kByteDigits, r.mountHost) ||
          !Decode(p[3], kWideDigits, r.wimPath) || !Decode(p[4], kByteDigits, r.wimHost))
        continue;
    } else {
      r.mountPath = WideFromAnsi(p[1]);
      r.mountHost = p[2];
      r.wimPath = WideFromAnsi(p[3]);
      r.wimHost = p[4];
    }
    r.index = *index;
    r.readOnly = p[6] == "ro";
    r.wimSize = *wimSize;
    r.wimTime = *wimTime;
    records.push_back(std::move(r));
  }
  return records;
}

bool Write(const std::vector<MountRecord>& records) {
  std::ostringstream out;
  out << kRecordsHeader << '\n';
  for (const auto& r : records)
    out << r.id << '\t' << EncodeWide(r.mountPath) << '\t' << EncodeBytes(r.mountHost) << '\t'
          << EncodeWide(r.wimPath) << '\t' << EncodeBytes(r.wimHost) << '\t' << r.index << '\t'
          << (r.readOnly ? "ro" : "rw") << '\t' << r.wimSize << '\t' << r.wimTime << '\n';
  return ReplacePrefixFile(PrefixFile(kRegistryName), out.str());
}

std::string ManifestPath(unsigned id) { return PrefixFile("dism-mount-" + std::to_string(id) + ".committed"); }

}  // namespace

std::string CanonicalHost(const std::string& host) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::weakly_canonical(host, ec);
  std::string out = ec ? host : p.string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

bool FileStamp(const std::string& host, std::uint64_t& size, std::int64_t& time) {
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return false;
  size = static_cast<std::uint64_t>(st.st_size);
  time = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

DismMountStatus StatusOf(const MountRecord& record) {
  struct stat st {};
  if (::stat(record.mountHost.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return DismMountStatusInvalid;
  std::uint64_t size = 0;
  std::int64_t time = 0;
  if (!FileStamp(record.wimHost, size, time)) return DismMountStatusInvalid;
  if (size != record.wimSize || time != record.wimTime) return DismMountStatusInvalid;
  return DismMountStatusOk;
}

bool IsOwnMountFolder(const std::string& host) {
  constexpr std::size_t kMaxDigits = 6;
  std::string dataHost;
  if (!ResolvePath(GetCommonAppDataFolder(), dataHost)) return false;
  const std::filesystem::path folder(host);
  const std::string name = folder.filename().string();
  if (name.empty() || name.size() > kMaxDigits || name.find_first_not_of("0123456789") != std::string::npos)
    return false;
  std::error_code ec;
  const std::filesystem::path data = std::filesystem::canonical(dataHost, ec);
  if (ec) return false;
  // The folder as named must be the folder itself: resolving it may not
  // move it anywhere (a link on the way).
  const std::filesystem::path real = std::filesystem::canonical(folder, ec);
  if (ec || real != folder.lexically_normal() || !std::filesystem::is_directory(std::filesystem::symlink_status(real)))
    return false;
  const auto [dataEnd, realEnd] = std::mismatch(data.begin(), data.end(), real.begin(), real.end());
  return dataEnd == data.end() && realEnd != real.end();
}

std::vector<MountRecord> MountRegistry::Load() {
  RegistryLock lock;
  return Read();
}

bool MountRegistry::Update(const std::function<void(std::vector<MountRecord>&)>& change) {
  RegistryLock lock;
  auto records = Read();
  change(records);
  return Write(records);
}

Manifest MountRegistry::LoadManifest(unsigned id) {
  Manifest manifest;
  std::string bytes;
  if (ReadHostFile(ManifestPath(id), bytes) != ERROR_SUCCESS) return manifest;
  std::istringstream in(bytes);
  std::string line;
  // A manifest in an older form is ignored: its files are committed again.
  if (!std::getline(in, line) || line != kManifestHeader) return manifest;
  while (std::getline(in, line)) {
    auto p = SplitTabs(line);
    std::string path;
    if (p.size() != 3 || !Decode(p[0], kByteDigits, path)) continue;
    const auto size = ParseNumber<unsigned long long>(p[1]);
    const auto time = ParseNumber<long long>(p[2]);
    if (size && time) manifest[path] = {*size, *time};
  }
  return manifest;
}

bool MountRegistry::SaveManifest(unsigned id, const Manifest& manifest) {
  std::ostringstream out;
  out << kManifestHeader << '\n';
  for (const auto& [path, file] : manifest) out << EncodeBytes(path) << '\t' << file.size << '\t' << file.time << '\n';
  return ReplacePrefixFile(ManifestPath(id), out.str());
}

void MountRegistry::DropManifest(unsigned id) {
  std::remove(ManifestPath(id).c_str());
  std::error_code ec;
  std::filesystem::remove_all(ScratchFolder(id), ec);
}

std::string MountRegistry::ScratchFolder(unsigned id) {
  return PrefixFile("dism-mount-" + std::to_string(id) + ".scratch");
}

}  // namespace platform::dism
