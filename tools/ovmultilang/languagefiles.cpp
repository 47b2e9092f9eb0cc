#include "languagefiles.h"

#include <fstream>
#include <iterator>

#include "language.h"

namespace ovml {

namespace {
// A language file is a few kilobytes; anything this large is not one.
constexpr std::streamoff kMaxFileBytes = 4 * 1024 * 1024;
}  // namespace

LanguageFiles::LanguageFiles(std::string folder) : folder_(std::move(folder)) {}

const Catalogue* LanguageFiles::Get(std::string_view language) {
  std::lock_guard lock(mutex_);
  auto it = loaded_.find(language);
  if (it == loaded_.end()) {
    std::unique_ptr<Catalogue> catalogue;
    std::ifstream in(folder_ + std::string(language) + ".lang", std::ios::binary);
    if (in) {
      in.seekg(0, std::ios::end);
      std::streamoff bytes = in.tellg();
      in.seekg(0, std::ios::beg);
      if (bytes >= 0 && bytes <= kMaxFileBytes) {
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        catalogue = std::make_unique<Catalogue>();
        if (in.bad() || !catalogue->Parse(text)) catalogue.reset();
      }
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
