#include "languagefiles.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "language.h"

namespace ovml {

namespace {
// A language file is a few kilobytes; anything this large is not one.
constexpr std::uintmax_t kMaxFileBytes = 4 * 1024 * 1024;
}  // namespace

LanguageFiles::LanguageFiles(std::string folder) : folder_(std::move(folder)) {}

const Catalogue* LanguageFiles::Get(std::string_view language) {
  std::lock_guard lock(mutex_);
  auto it = loaded_.find(language);
  if (it == loaded_.end()) {
    std::unique_ptr<Catalogue> catalogue;
    const std::string path = folder_ + std::string(language) + ".lang";
    // Only a regular file of a sane size is read: a folder or a device
    // (/dev/zero) standing at the name would otherwise be read without end.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    const auto bytes = ec || !std::filesystem::is_regular_file(status) ? 0 : std::filesystem::file_size(path, ec);
    std::ifstream in;
    if (!ec && std::filesystem::is_regular_file(status) && bytes <= kMaxFileBytes) in.open(path, std::ios::binary);
    if (in.is_open()) {
      std::string text(static_cast<std::size_t>(bytes), '\0');
      in.read(text.data(), static_cast<std::streamsize>(text.size()));
      text.resize(static_cast<std::size_t>(in.gcount()));
      catalogue = std::make_unique<Catalogue>();
      if (in.bad() || !catalogue->Parse(text)) catalogue.reset();
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
