#include "languagefiles.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>

#include "language.h"

namespace ovml {

namespace {
// A language file is a few kilobytes; anything this large is not one.
constexpr std::uintmax_t kMaxFileBytes = 4 * 1024 * 1024;
// Only a regular file of a sane size is read: a folder or a device
// (/dev/zero) standing at the name would otherwise be read without end, and
// the file stream reports a read error (EIO) by throwing.
bool ReadLanguageFile(const std::string& path, std::string& text) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::status(path, ec)) || ec) return false;
  const std::uintmax_t bytes = std::filesystem::file_size(path, ec);
  if (ec || bytes > kMaxFileBytes) return false;
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    text.assign(static_cast<std::size_t>(bytes), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return !in.bad();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

LanguageFiles::LanguageFiles(std::string folder) : folder_(std::move(folder)) {}

const Catalogue* LanguageFiles::Get(std::string_view language) {
  std::lock_guard lock(mutex_);
  auto it = loaded_.find(language);
  if (it == loaded_.end()) {
    std::unique_ptr<Catalogue> catalogue;
    std::string text;
    if (ReadLanguageFile(folder_ + std::string(language) + ".lang", text)) {
      catalogue = std::make_unique<Catalogue>();
      if (!catalogue->Parse(text)) catalogue.reset();
    }
    // A file that failed stays failed: it is not read again at every call.
    it = loaded_.emplace(std::string(language), std::move(catalogue)).first;
  }
  return it->second.get();
}

std::string LanguageFiles::Effective(std::string_view language) {
  return Get(language) ? std::string(language) : std::string(kEnglish);
}

std::u16string LanguageFiles::Translate(std::string_view language, std::u16string_view key) {
  for (std::string_view name : {language, kEnglish}) {
    if (const Catalogue* catalogue = Get(name))
      if (const std::u16string* text = catalogue->Find(key)) return *text;
  }
  return std::u16string(key);
}

}  // namespace ovml
