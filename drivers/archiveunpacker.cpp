#include "drivers/archiveunpacker.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <locale.h>
#include <memory>
#include <string_view>

#include "drivers/safefolder.h"
#include "platform/windowsname.h"

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

UnpackCode SafeMemberName(const std::string& name, std::string& out) {
  out.clear();
  if (name.empty() || name[0] == '/' || name[0] == '\\') return UnpackCode::UnsafeName;
  if (name.size() >= 2 && name[1] == ':') return UnpackCode::UnsafeName;  // "C:..."
  UnpackCode code = UnpackCode::Ok;
  std::string part;
  auto flush = [&]() {
    if (part.empty() || part == ".") {
      part.clear();
      return true;
    }
    if (part == "..") return false;
    if (code == UnpackCode::Ok && !platform::WindowsCanHoldName(part)) code = UnpackCode::WindowsName;
    out += (out.empty() ? "" : "/") + part;
    part.clear();
    return true;
  };
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return UnpackCode::UnsafeName;
    if (c == '/' || c == '\\') {
      if (!flush()) return UnpackCode::UnsafeName;
    } else {
      part += c;
    }
  }
  if (!flush() || out.empty()) return UnpackCode::UnsafeName;
  return code;
}

namespace {

// While an archive is read the thread's character set is UTF-8, whatever
// the process's locale (the wizard's Qt sets the user's, the CLI keeps
// "C"): libarchive then gives names recorded as UTF-8 (ZIP's flag or
// Unicode-path field, 7z, CAB's UTF flag) as they are, and both front ends
// read the same names.
class Utf8Names {
 public:
  Utf8Names() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr))) {
    if (locale_) previous_ = uselocale(locale_);
  }
  ~Utf8Names() {
    if (!locale_) return;
    uselocale(previous_);
    freelocale(locale_);
  }
  Utf8Names(const Utf8Names&) = delete;
  Utf8Names& operator=(const Utf8Names&) = delete;

 private:
  locale_t locale_;
  locale_t previous_ = nullptr;
};

bool ValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size() || (n == 2 && c < 0xC2)) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// Code page 437, the code page of ZIP names without the UTF-8 flag: bytes
// 0x80-0xFF as Unicode.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC,
    0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310,
    0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C,
    0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF,
    0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2,
    0x25A0, 0x00A0};

std::string FromCp437(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    const char16_t u = c < 0x80 ? c : kCp437High[c - 0x80];
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The member's name as UTF-8: as the archive records it when it says UTF-8,
// else its bytes when they are valid UTF-8, else read as code page 437.
// False (name: the bytes there are) when the archive said UTF-8 and the
// bytes are not (libarchive warns, or puts U+FFFD where they were), or
// there is no name at all.
bool MemberName(archive_entry* entry, bool nameWarning, std::string& name) {
  static const std::string kReplacement = "\xEF\xBF\xBD";
  const char* raw = archive_entry_pathname(entry);
  name = raw ? raw : "";
  if (nameWarning) return false;
  if (const char* utf8 = archive_entry_pathname_utf8(entry)) {
    name = utf8;
    return !name.empty() && name.find(kReplacement) == std::string::npos;
  }
  if (name.empty()) return false;
  if (!ValidUtf8(name)) name = FromCp437(name);
  return true;
}

}  // namespace

UnpackResult UnpackArchive(const std::string& archiveHost, const std::string& folderHost, const UnpackLimits& limits) {
  // Opened without following a link: the path was checked as a file.
  UniqueFd fd(open(archiveHost.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) return Fail(UnpackCode::NotAnArchive, archiveHost);
  return UnpackArchive(fd.get(), folderHost, limits);
}

UnpackResult UnpackArchive(int archiveFd, const std::string& folderHost, const UnpackLimits& limits) {
  if (lseek(archiveFd, 0, SEEK_SET) != 0) return Fail(UnpackCode::NotAnArchive, "");
  const Utf8Names utf8;
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
    // A warning at a header is the name's conversion failing (the reader's
    // only warning there): the bytes it has are no text.
    const char* warning = r == ARCHIVE_WARN ? archive_error_string(a.get()) : nullptr;
    const bool nameWarning = warning && std::string_view(warning).find("athname") != std::string_view::npos;
    std::string name;
    if (!MemberName(entry, nameWarning, name)) return Fail(UnpackCode::UnreadableName, Hex(name));
    std::string relative;
    if (const UnpackCode code = SafeMemberName(name, relative); code != UnpackCode::Ok)
      return Fail(code, platform::PrintableName(name));
    const std::string shown = platform::PrintableName(name);
    if (archive_entry_hardlink(entry) || archive_entry_symlink(entry)) return Fail(UnpackCode::Link, shown);
    const mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFDIR) {
      if (!MakeFolders(folderHost, relative)) return Fail(UnpackCode::WriteFailed, shown);
      continue;
    }
    if (type != AE_IFREG) return Fail(UnpackCode::Link, shown);
    if (archive_entry_size_is_set(entry) &&
        static_cast<std::uint64_t>(archive_entry_size(entry)) > limits.maxTotalBytes - total)
      return Fail(UnpackCode::TooLarge, shown);
    UniqueFd fd = CreateNewFile(folderHost, relative, kFileMode);
    if (!fd) return Fail(UnpackCode::WriteFailed, shown);
    for (;;) {
      if (limits.stop && limits.stop->load()) return Fail(UnpackCode::Stopped, shown);
      const la_ssize_t n = archive_read_data(a.get(), buffer.data(), buffer.size());
      if (n == 0) break;
      if (n < 0) {
        const char* why = archive_error_string(a.get());
        return Fail(UnpackCode::Damaged, shown + (why ? std::string(": ") + why : std::string()));
      }
      total += static_cast<std::uint64_t>(n);
      if (total > limits.maxTotalBytes) return Fail(UnpackCode::TooLarge, shown);
      if (!WriteAll(fd.get(), buffer.data(), static_cast<size_t>(n))) return Fail(UnpackCode::WriteFailed, shown);
    }
    if (!fd.Close()) return Fail(UnpackCode::WriteFailed, shown);
  }
  return {};
}

}  // namespace drivers
