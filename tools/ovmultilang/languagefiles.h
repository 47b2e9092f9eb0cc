#pragma once
// The language files of one folder ("<folder>/<language>.lang"), each read
// once on first use and kept for the life of the library. Safe to use from
// several threads at once.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "catalogue.h"

namespace ovml {

class LanguageFiles {
 public:
  // folder ends with a separator, e.g. "/opt/program/lang/".
  explicit LanguageFiles(std::string folder);

  // The language's catalogue; null when its file is missing, unreadable or
  // malformed. Returned catalogues stay valid as long as this object.
  const Catalogue* Get(std::string_view language);

  // The text of a key in the language, else in English, else the key itself;
  // the language actually in use is English when the language's own file is
  // unusable.
  std::u16string Translate(std::string_view language, std::u16string_view key);
  // The language actually in use for a wanted one (see Translate).
  std::string Effective(std::string_view language);

 private:
  std::string folder_;
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<Catalogue>, std::less<>> loaded_;
};

}  // namespace ovml
