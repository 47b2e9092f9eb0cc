// The language-file parser: what a file may say, and what makes it unusable.

#include <gtest/gtest.h>

#include <string>

#include "catalogue.h"
#include "casename.h"

namespace {

using ovml::Catalogue;

std::u16string TextOf(const Catalogue& c, const std::u16string& key) {
  const std::u16string* text = c.Find(key);
  return text ? *text : u"<none>";
}

TEST(Catalogue, ReadsKeysWithBlanksAndTrimsUnquotedTexts) {
  Catalogue c;
  ASSERT_TRUE(c.Parse("# comment\n\n  Format warning1 =   All data on the USB disk  \r\nNext=Weiter\n"));
  EXPECT_EQ(c.size(), 2u);
  EXPECT_EQ(TextOf(c, u"Format warning1"), u"All data on the USB disk");
  EXPECT_EQ(TextOf(c, u"Next"), u"Weiter");
  EXPECT_EQ(c.Find(u"Back"), nullptr);
}

TEST(Catalogue, QuotesKeepBlanksAndEscapesBecomeCharacters) {
  Catalogue c;
  ASSERT_TRUE(c.Parse("Capacity = \"Capacity: \"\nMsg = a\\nb\\tc \\\"q\\\" \\\\ end\nQ = \" x \\\" \"\n"));
  EXPECT_EQ(TextOf(c, u"Capacity"), u"Capacity: ");
  EXPECT_EQ(TextOf(c, u"Msg"), u"a\nb\tc \"q\" \\ end");
  EXPECT_EQ(TextOf(c, u"Q"), u" x \" ");
}

TEST(Catalogue, EqualsSignsAfterTheFirstBelongToTheText) {
  Catalogue c;
  ASSERT_TRUE(c.Parse("Formula = a = b\nEmpty =\n"));
  EXPECT_EQ(TextOf(c, u"Formula"), u"a = b");
  EXPECT_EQ(TextOf(c, u"Empty"), u"");
}

TEST(Catalogue, ByteOrderMarkAndMultiByteTextsAreRead) {
  Catalogue c;
  ASSERT_TRUE(c.Parse("\xEF\xBB\xBF" "Cancel = キャンセル\nSmile = \xF0\x9F\x98\x80\n"));
  EXPECT_EQ(TextOf(c, u"Cancel"), u"キャンセル");
  EXPECT_EQ(TextOf(c, u"Smile"), u"\U0001F600");
}

class MalformedCatalogue : public ::testing::TestWithParam<const char*> {};

TEST_P(MalformedCatalogue, IsRefusedAsAWholeWithTheLineNamed) {
  Catalogue c;
  std::string error;
  std::string text = std::string("Good = text\n") + GetParam();
  EXPECT_FALSE(c.Parse(text, &error));
  EXPECT_EQ(c.size(), 0u);
  EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MalformedCatalogue,
    ::testing::Values("no equals sign\n", " = text without key\n", "Good = repeated\n", "Open = \"unterminated\n",
                      "Inner = \"a\"b\"\n", "Escape = bad \\q escape\n", "Cut = ends with \\\n",
                      "Quoted = \"ends with \\\"\n", "Latin1 = caf\xE9\n", "Overlong = \xC0\xAF\n",
                      "Surrogate = \xED\xA0\x80\n", "Truncated = \xE3\x82\n"),
    kxtest::ByText());

TEST(Utf16FromUtf8, RejectsSequencesCutAtTheEnd) {
  std::u16string out;
  EXPECT_TRUE(ovml::Utf16FromUtf8("abc", out));
  EXPECT_FALSE(ovml::Utf16FromUtf8("ab\xE3", out));
  EXPECT_FALSE(ovml::Utf16FromUtf8("\xF4\x90\x80\x80", out));  // above U+10FFFF
}

}  // namespace
