#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "disk/langutils.h"
#include "disk/textutils.h"
#include "platform/locale.h"

namespace {

// Sets the locale variables for one test and puts them back.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* lang) {
    for (const char* v : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* old = std::getenv(v);
      saved_.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
      ::unsetenv(v);
    }
    ::setenv("LANG", lang, 1);
  }
  ~ScopedLocale() {
    for (const auto& [name, value] : saved_) {
      if (value) ::setenv(name, value->c_str(), 1);
      else ::unsetenv(name);
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

}  // namespace

TEST(SystemLanguage, SpanishFrenchAndJapaneseTests) {
  {
    ScopedLocale l("es_ES.UTF-8");  // 0x0C0A
    EXPECT_EQ(GetSystemLangIdText(), L"0c0a");
    EXPECT_TRUE(IsSystemLanguageSpanish());
    EXPECT_FALSE(IsSystemLanguageFrench());
  }
  {
    ScopedLocale l("es_US.UTF-8");  // 0x540A
    EXPECT_TRUE(IsSystemLanguageSpanish());
  }
  {
    ScopedLocale l("fr_CA.UTF-8");  // 0x0C0C
    EXPECT_TRUE(IsSystemLanguageFrench());
    EXPECT_FALSE(IsSystemLanguageSpanish());
  }
  {
    ScopedLocale l("ja_JP.UTF-8");
    EXPECT_EQ(GetSystemLangIdText(), L"0411");
    EXPECT_TRUE(IsSystemLanguageJapanese());
  }
  {
    ScopedLocale l("en_US.UTF-8");
    EXPECT_FALSE(IsSystemLanguageJapanese());
    EXPECT_FALSE(IsSystemLanguageSpanish());
  }
}

TEST(SystemLanguage, TraditionalSortSpanishIsSpanishAndOnly0411IsJapanese) {
  {
    platform::ScopedSystemLanguage l(0x040A);
    EXPECT_EQ(GetSystemLangIdText(), L"040a");
    EXPECT_TRUE(IsSystemLanguageSpanish());
  }
  {
    platform::ScopedSystemLanguage l(0x0C0A);
    EXPECT_TRUE(IsSystemLanguageSpanish());
    EXPECT_FALSE(IsSystemLanguageJapanese());
  }
  {
    platform::ScopedSystemLanguage l(0x0811);  // not a real Japanese region, and not 0411
    EXPECT_FALSE(IsSystemLanguageJapanese());
  }
}

TEST(TextHelpers, ConversionsAndBackslashes) {
  EXPECT_EQ(FromAnsi(ToAnsi(L"E:\\caf\u00e9")), L"E:\\caf\u00e9");
  EXPECT_EQ(ToLower(L"E:\\ABC\u00c9"), L"e:\\abc\u00c9");  // A-Z only
  EXPECT_EQ(IntToText(-42), "-42");
  EXPECT_EQ(IntToTextW(7), L"7");
  EXPECT_EQ(IncludeBackslash(std::string("C:\\a")), "C:\\a\\");
  EXPECT_EQ(IncludeBackslash(std::string("C:\\a\\")), "C:\\a\\");
  EXPECT_EQ(IncludeBackslash(std::string("")), "");
}
