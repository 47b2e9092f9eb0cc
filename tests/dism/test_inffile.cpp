#include "platform/dism/inffile.h"
#include "casename.h"

#include <gtest/gtest.h>

using platform::dism::InfFile;

namespace {

InfFile ParseOk(const std::wstring& text) {
  InfFile inf;
  std::wstring error;
  EXPECT_TRUE(InfFile::Parse(text, inf, error)) << std::string(error.begin(), error.end());
  return inf;
}

}  // namespace

TEST(InfFile, ReadsSectionsKeysAndFieldsWithQuotesCommentsAndContinuations) {
  InfFile inf = ParseOk(
      L"; leading comment\r\n"
      L"[Version]\r\n"
      L"Signature = \"$Windows NT$\" ; trailing comment\r\n"
      L"[Models.NTamd64]\r\n"
      L"%Dev% = Install , PCI\\VEN_1 , \\\r\n"
      L"   PCI\\VEN_2\r\n"
      L"bare.sys\r\n"
      L"quoted = \"a;b,c\"\"d\"\r\n"
      L"[strings]\r\nDev = \"My Device\"\r\n");
  EXPECT_EQ(inf.Value(L"version", L"SIGNATURE"), L"$Windows NT$");
  const auto* models = inf.Section(L"models.ntamd64");
  ASSERT_NE(models, nullptr);
  ASSERT_EQ(models->lines.size(), 3u);
  EXPECT_EQ(models->lines[0].key, L"My Device");
  EXPECT_EQ(models->lines[0].fields, (std::vector<std::wstring>{L"Install", L"PCI\\VEN_1", L"PCI\\VEN_2"}));
  EXPECT_EQ(models->lines[0].line, 5);
  EXPECT_EQ(models->lines[1].key, L"");
  EXPECT_EQ(models->lines[1].fields, std::vector<std::wstring>{L"bare.sys"});
  EXPECT_EQ(models->lines[2].fields, std::vector<std::wstring>{L"a;b,c\"d"});
}

TEST(InfFile, SubstitutesStringsButKeepsDirectoryIdsUnknownTokensAndDoublePercent) {
  InfFile inf = ParseOk(
      L"[Version]\nProvider=%Prov%\nPath=%12%\\x\nOdd=%Missing%\nPct=100%%\n"
      L"[Strings]\nprov=\"Sample Inc\"\n[Strings.0407]\nProv=\"Beispiel\"\nOnlyGerman=\"ja\"\n"
      L"[Other]\nx=%onlygerman%\n");
  EXPECT_EQ(inf.Value(L"Version", L"Provider"), L"Sample Inc");
  EXPECT_EQ(inf.Value(L"Version", L"Path"), L"%12%\\x");
  EXPECT_EQ(inf.Value(L"Version", L"Odd"), L"%Missing%");
  EXPECT_EQ(inf.Value(L"Version", L"Pct"), L"100%");
  EXPECT_EQ(inf.Value(L"Other", L"x"), L"ja");
}

TEST(InfFile, MergesASectionNamedTwice) {
  InfFile inf = ParseOk(L"[A]\nk1=1\n[B]\n[a]\nk2=2\n");
  ASSERT_NE(inf.Section(L"A"), nullptr);
  EXPECT_EQ(inf.Section(L"A")->lines.size(), 2u);
  EXPECT_EQ(inf.Value(L"A", L"k2"), L"2");
}

struct SyntaxCase {
  const char* name;
  const wchar_t* text;
  const wchar_t* error;
};

class InfFileSyntax : public testing::TestWithParam<SyntaxCase> {};

TEST_P(InfFileSyntax, RejectsTextThatIsNotInfSyntaxNamingTheLine) {
  InfFile inf;
  std::wstring error;
  EXPECT_FALSE(InfFile::Parse(GetParam().text, inf, error));
  EXPECT_NE(error.find(GetParam().error), std::wstring::npos) << std::string(error.begin(), error.end());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InfFileSyntax,
    testing::Values(SyntaxCase{"Binary", L"MZ\x90\x00binary", L"line 1: text before the first section"},
                    SyntaxCase{"UnclosedSection", L"[Version]\nok=1\n[Broken\n",
                               L"line 3: section name without closing bracket"},
                    SyntaxCase{"UnclosedQuote", L"[Version]\nSignature=\"$Windows NT$\n", L"line 2: quote not closed"}),
    kxtest::ByName());

TEST(InfFile, FindsEverySectionOfAFileWithVeryManyAndMergesThemWithoutRegardToCase) {
  constexpr int kSections = 100000;
  std::wstring text;
  for (int i = 0; i < kSections; ++i) text += L"[S" + std::to_wstring(i) + L"]\n";
  text += L"[s99999]\nlast=1\n[s0]\nfirst=1\n";
  InfFile inf = ParseOk(text);
  EXPECT_EQ(inf.Sections().size(), static_cast<size_t>(kSections));
  EXPECT_EQ(inf.Value(L"S99999", L"last"), L"1");
  EXPECT_EQ(inf.Value(L"S0", L"first"), L"1");
  EXPECT_EQ(inf.Section(L"S100000"), nullptr);
}
