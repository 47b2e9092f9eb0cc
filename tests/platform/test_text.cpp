#include <gtest/gtest.h>

#include "platform/locale.h"
#include "platform/number.h"
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

// Outside text as a terminal or a window gets it: every control character
// shown, never acted on; the system's own paths as written.
TEST(Text, PrintableTextShowsEveryControlCharacterAndLosesNothing) {
  struct Row {
    const char* name;
    std::wstring text;  // from outside, as WideFromAnsi gives it
    std::wstring shown;
    bool keepLineBreaks;
  } rows[] = {
      {"PlainAndForeignTextPasses", WideFromAnsi("Intel\u00ae USB 3.0 \xe6\x97\xa5 C:\\W"), L"Intel\u00ae USB 3.0 \u65e5 C:\\W", false},
      {"EscapeAndBellOfC0", WideFromAnsi("a\x1b]0;x\x07" "b"), L"a\\x1B]0;x\\x07b", false},
      {"NulTabAndDelete", std::wstring(L"a\0\t\x7f", 4), L"a\\x00\\x09\\x7F", false},
      {"LineBreaksForgeNoLines", WideFromAnsi("x\r\ny"), L"x\\x0D\\x0Ay", false},
      {"Utf8EncodedC1Csi", WideFromAnsi("a\xc2\x9b" "2Jb"), L"a\\x9B2Jb", false},
      {"StrayC1Byte", WideFromAnsi("a\x9b" "2J"), L"a\\x9B2J", false},
      {"LastC1AndFirstAfter", WideFromAnsi("\xc2\x9f\xc2\xa0"), L"\\x9F\u00a0", false},
      {"SystemPathsWithBackslashX", L"E:\\Other\\x86\\ and \\x64", L"E:\\Other\\x86\\ and \\x64", false},
      {"TraceLogKeepsItsLineBreaks", L"one\ntwo\r", L"one\ntwo\\x0D", true},
  };
  for (const Row& row : rows) EXPECT_EQ(PrintableText(row.text, row.keepLineBreaks), row.shown) << row.name;
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

// Numbers from records and the kernel's files: the whole text or nothing.
struct NumberCase {
  const char* name;
  const char* text;
  int base;
  std::optional<long long> asInt;        // ParseNumber<int>
  std::optional<unsigned long long> asU;  // ParseNumber<unsigned>
};

class Numbers : public testing::TestWithParam<NumberCase> {};

TEST_P(Numbers, AreTheWholeTextInRange) {
  const NumberCase& c = GetParam();
  const std::optional<int> i = ParseNumber<int>(std::string_view(c.text), c.base);
  const std::optional<unsigned> u = ParseNumber<unsigned>(std::string_view(c.text), c.base);
  EXPECT_EQ(i.has_value(), c.asInt.has_value()) << c.text;
  if (i && c.asInt) {
    EXPECT_EQ(*i, *c.asInt);
  }
  EXPECT_EQ(u.has_value(), c.asU.has_value()) << c.text;
  if (u && c.asU) {
    EXPECT_EQ(*u, *c.asU);
  }
  // Wide text reads the same.
  const std::wstring wide = WideFromAnsi(c.text);
  EXPECT_EQ(ParseNumber<int>(std::wstring_view(wide), c.base), i) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Numbers,
    testing::Values(NumberCase{"Plain", "12", 10, 12, 12u}, NumberCase{"Zero", "0", 10, 0, 0u},
                    NumberCase{"MinusOnlySigned", "-3", 10, -3, std::nullopt},
                    NumberCase{"Empty", "", 10, std::nullopt, std::nullopt},
                    NumberCase{"LeadingBlank", " 1", 10, std::nullopt, std::nullopt},
                    NumberCase{"Plus", "+1", 10, std::nullopt, std::nullopt},
                    NumberCase{"TrailingLetter", "12a", 10, std::nullopt, std::nullopt},
                    NumberCase{"PastIntMax", "2147483648", 10, std::nullopt, 2147483648u},
                    NumberCase{"PastUnsignedMax", "4294967296", 10, std::nullopt, std::nullopt},
                    NumberCase{"Hex", "20", 16, 32, 32u}, NumberCase{"NotHex", "zz", 16, std::nullopt, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Numbers, WideTextBeyondAsciiIsNoNumber) {
  // Full-width digits are digits to iswdigit, not to a record.
  EXPECT_EQ(ParseNumber<int>(std::wstring_view(L"\uFF11\uFF12")), std::nullopt);
  EXPECT_EQ(ParseNumber<int>(std::wstring_view(L"42")), 42);
}
