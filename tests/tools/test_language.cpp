// Choosing the display language from the user's locale.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>

#include "language.h"
#include "casename.h"

namespace {

struct LocaleCase {
  const char* locale;
  const char* language;
};

void PrintTo(const LocaleCase& c, std::ostream* os) { *os << '"' << c.locale << "\" -> " << c.language; }

class LanguageForLocale : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(LanguageForLocale, PicksTheLanguageOfTheLocaleCode) {
  EXPECT_EQ(ovml::LanguageForLocale(GetParam().locale), GetParam().language);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LanguageForLocale,
    ::testing::Values(LocaleCase{"en_US.UTF-8", "english"}, LocaleCase{"es_ES.UTF-8", "spanish"},
                      LocaleCase{"es_MX", "spanish"}, LocaleCase{"fr_CA.utf8", "french"},
                      LocaleCase{"de_AT.UTF-8@euro", "german"}, LocaleCase{"DE_de", "german"},
                      LocaleCase{"ja_JP.eucJP", "japanese"}, LocaleCase{"ja", "japanese"},
                      LocaleCase{"pt_BR.UTF-8", "english"}, LocaleCase{"C", "english"},
                      LocaleCase{"C.UTF-8", "english"}, LocaleCase{"POSIX", "english"}, LocaleCase{"", "english"},
                      LocaleCase{"esperanto", "english"}),
    [](const testing::TestParamInfo<LocaleCase>& info) {
      return kxtest::CaseName(std::string(info.param.locale) + "_" + info.param.language);
    });

// Sets the three variables for one test and puts the old values back.
class LocaleEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      const char* value = std::getenv(kNames[i]);
      saved_[i] = value ? std::optional<std::string>(value) : std::nullopt;
      ::unsetenv(kNames[i]);
    }
  }
  void TearDown() override {
    for (int i = 0; i < 3; ++i) {
      if (saved_[i]) ::setenv(kNames[i], saved_[i]->c_str(), 1);
      else ::unsetenv(kNames[i]);
    }
  }
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::optional<std::string> saved_[3];
};

TEST_F(LocaleEnvironment, AllOverridesMessagesWhichOverridesLang) {
  ::setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(ovml::CurrentLocaleName(), "de_DE.UTF-8");
  ::setenv("LC_MESSAGES", "fr_FR.UTF-8", 1);
  EXPECT_EQ(ovml::CurrentLocaleName(), "fr_FR.UTF-8");
  ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
  EXPECT_EQ(ovml::CurrentLocaleName(), "ja_JP.UTF-8");
}

TEST_F(LocaleEnvironment, EmptyVariablesDoNotDecide) {
  ::setenv("LC_ALL", "", 1);
  ::setenv("LC_MESSAGES", "", 1);
  ::setenv("LANG", "es_ES.UTF-8", 1);
  EXPECT_EQ(ovml::CurrentLocaleName(), "es_ES.UTF-8");
}

TEST_F(LocaleEnvironment, NothingSetIsNoLocale) { EXPECT_EQ(ovml::CurrentLocaleName(), ""); }

}  // namespace
