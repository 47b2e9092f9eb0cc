// Driver downloads: whatever bytes a user hands to `drivers add` as an
// archive are unpacked into a private folder with small caps. Nothing may be
// written outside that folder, whatever the archive says; only regular files
// and folders appear inside it. Seeds: ZIP, 7z and CAB-less archives written
// by libarchive itself, one of them behind a PE stub as a self-extractor.
#include <archive.h>
#include <archive_entry.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "drivers/archiveunpacker.h"
#include "drivers/safefolder.h"
#include "kxfuzz.h"

namespace {

namespace fs = std::filesystem;

std::string Written(int (*format)(archive*)) {
  std::string bytes(1 << 16, '\0');
  size_t used = 0;
  archive* a = archive_write_new();
  format(a);
  archive_write_open_memory(a, bytes.data(), bytes.size(), &used);
  for (const char* name : {"drv/x.inf", "drv/x.sys", "drv/sub/x.cat"}) {
    const std::string data = std::string("contents of ") + name;
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name);
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
    archive_write_header(a, e);
    archive_write_data(a, data.data(), data.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  bytes.resize(used);
  return bytes;
}

}  // namespace

KX_FUZZ_SEEDS {
  seeds.push_back(Written(archive_write_set_format_zip));
  seeds.push_back(Written(archive_write_set_format_7zip));
  seeds.push_back("MZ" + std::string(510, '\x90') + Written(archive_write_set_format_zip));
}

KX_FUZZ_TARGET {
  static const std::string base = drivers::MakePrivateFolder(fs::temp_directory_path().string(), "kx-fuzz-archive-");
  KX_FUZZ_CHECK(!base.empty());
  const std::string input = base + "/input";
  const std::string out = base + "/out";
  {
    std::ofstream(input, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
  }
  fs::create_directory(out);
  drivers::UnpackArchive(input, out, {.maxTotalBytes = 1 << 20, .maxMembers = 64});
  // Inside: files and folders only. Beside it: the input and the folder.
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(out, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const auto st = it->symlink_status();
    KX_FUZZ_CHECK(fs::is_regular_file(st) || fs::is_directory(st));
  }
  size_t beside = 0;
  for (const auto& e : fs::directory_iterator(base)) {
    (void)e;
    ++beside;
  }
  KX_FUZZ_CHECK(beside == 2);
  KX_FUZZ_CHECK(drivers::RemoveTree(out));
  return 0;
}
