#include "drivers/archiveunpacker.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "drivers/safefolder.h"

namespace drivers {
namespace {

constexpr size_t kBlockBytes = 64 * 1024;
constexpr mode_t kFileMode = 0644;

struct ArchiveCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

UnpackResult Fail(UnpackCode code, std::string detail) { return {code, std::move(detail)}; }

}  // namespace

bool SafeMemberName(const std::string& name, std::string& out) {
  out.clear();
  if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
  if (name.size() >= 2 && name[1] == ':') return false;  // "C:..."
  std::string part;
  auto flush = [&]() {
    if (part.empty() || part == ".") {
      part.clear();
      return true;
    }
    if (part == "..") return false;
    out += (out.empty() ? "" : "/") + part;
    part.clear();
    return true;
  };
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    if (c == '/' || c == '\\') {
      if (!flush()) return false;
    } else {
      part += c;
    }
  }
  return flush() && !out.empty();
}

UnpackResult UnpackArchive(const std::string& archiveHost, const std::string& folderHost, const UnpackLimits& limits) {
  // Opened without following a link: the path was checked as a file.
  UniqueFd fd(open(archiveHost.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) return Fail(UnpackCode::NotAnArchive, archiveHost);
  return UnpackArchive(fd.get(), folderHost, limits);
}

UnpackResult UnpackArchive(int archiveFd, const std::string& folderHost, const UnpackLimits& limits) {
  if (lseek(archiveFd, 0, SEEK_SET) != 0) return Fail(UnpackCode::NotAnArchive, "");
  ArchivePtr a(archive_read_new());
  if (!a) return Fail(UnpackCode::Damaged, "out of memory");
  archive_read_support_format_zip(a.get());
  archive_read_support_format_7zip(a.get());
  archive_read_support_format_cab(a.get());
  // Self-extracting programs are a PE stub in front of the archive: the
  // readers above find their archive behind it.
  if (archive_read_open_fd(a.get(), archiveFd, kBlockBytes) != ARCHIVE_OK)
    return Fail(UnpackCode::NotAnArchive, archive_error_string(a.get()) ? archive_error_string(a.get()) : "");

  std::uint64_t total = 0;
  std::uint64_t members = 0;
  std::string buffer(kBlockBytes, '\0');
  for (;;) {
    archive_entry* entry = nullptr;
    const int r = archive_read_next_header(a.get(), &entry);
    if (r == ARCHIVE_EOF) break;
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
      const char* why = archive_error_string(a.get());
      return Fail(members == 0 ? UnpackCode::NotAnArchive : UnpackCode::Damaged, why ? why : "");
    }
    if (++members > limits.maxMembers) return Fail(UnpackCode::TooMany, std::to_string(limits.maxMembers));
    const char* raw = archive_entry_pathname(entry);
    const std::string name = raw ? raw : "";
    std::string relative;
    if (!SafeMemberName(name, relative)) return Fail(UnpackCode::UnsafeName, name);
    if (archive_entry_hardlink(entry) || archive_entry_symlink(entry)) return Fail(UnpackCode::Link, name);
    const mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFDIR) {
      if (!MakeFolders(folderHost, relative)) return Fail(UnpackCode::WriteFailed, name);
      continue;
    }
    if (type != AE_IFREG) return Fail(UnpackCode::Link, name);
    if (archive_entry_size_is_set(entry) &&
        static_cast<std::uint64_t>(archive_entry_size(entry)) > limits.maxTotalBytes - total)
      return Fail(UnpackCode::TooLarge, name);
    UniqueFd fd = CreateNewFile(folderHost, relative, kFileMode);
    if (!fd) return Fail(UnpackCode::WriteFailed, name);
    for (;;) {
      const la_ssize_t n = archive_read_data(a.get(), buffer.data(), buffer.size());
      if (n == 0) break;
      if (n < 0) {
        const char* why = archive_error_string(a.get());
        return Fail(UnpackCode::Damaged, name + (why ? std::string(": ") + why : std::string()));
      }
      total += static_cast<std::uint64_t>(n);
      if (total > limits.maxTotalBytes) return Fail(UnpackCode::TooLarge, name);
      if (!WriteAll(fd.get(), buffer.data(), static_cast<size_t>(n))) return Fail(UnpackCode::WriteFailed, name);
    }
    if (!fd.Close()) return Fail(UnpackCode::WriteFailed, name);
  }
  return {};
}

}  // namespace drivers
