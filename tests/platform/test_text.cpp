#include <gtest/gtest.h>

#include "platform/locale.h"
#include "platform/text.h"

using namespace platform;

TEST(Text, AnsiIsUtf8AndSurvivesRoundTrips) {
  std::wstring w = L"caf\u00e9 \u65e5\u672c 100%s \U0001F600";
  EXPECT_EQ(WideFromAnsi(AnsiFromWide(w)), w);
  EXPECT_EQ(AnsiFromWide(L"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(WideFromUtf16(Utf16FromWide(w)), w);
  EXPECT_EQ(Utf16FromWide(L"\U0001F600").size(), 2u);
  // A stray byte that starts no sequence keeps its Latin-1 value.
  EXPECT_EQ(WideFromAnsi("a\xE9z"), L"a\u00e9z");
}

TEST(Text, CaseFoldingCoversAsciiAndLatin1Only) {
  EXPECT_TRUE(EqualsNoCase(L"AUTORUN.INF", L"autorun.inf"));
  EXPECT_TRUE(EqualsNoCase(L"\u00c9T\u00c9", L"\u00e9t\u00e9"));
  EXPECT_FALSE(EqualsNoCase(L"a", L"ab"));
  EXPECT_EQ(UpperCase(L"embedded"), L"EMBEDDED");
}

TEST(Locale, LanguageIdentifiersFollowTheLocaleName) {
  EXPECT_EQ(LangIdFromLocaleName("es_ES.UTF-8"), 0x0C0A);
  EXPECT_EQ(LangIdFromLocaleName("es_MX"), 0x080A);
  EXPECT_EQ(LangIdFromLocaleName("es_PE.UTF-8"), 0x0C0A);
  EXPECT_EQ(LangIdFromLocaleName("fr_FR.UTF-8"), 0x040C);
  EXPECT_EQ(LangIdFromLocaleName("ja_JP.UTF-8"), 0x0411);
  EXPECT_EQ(LangIdFromLocaleName("en_US.UTF-8"), 0x0409);
  EXPECT_EQ(LangIdFromLocaleName("C"), 0x0409);
  EXPECT_EQ(LangIdFromLocaleName("POSIX"), 0x0409);
}
