#include "src/xml/xmlprecheck.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "src/xml/gsxml.h"

namespace {

std::string Nested(int depth, bool selfClosingLeaf) {
  std::string s;
  for (int i = 0; i < depth - (selfClosingLeaf ? 1 : 0); ++i) s += "<e a=\"1\">";
  if (selfClosingLeaf) s += "<leaf/>";
  for (int i = 0; i < depth - (selfClosingLeaf ? 1 : 0); ++i) s += "</e>";
  return s;
}

TEST(XmlPrecheck, AcceptsNestingUpToTheLimit) {
  EXPECT_TRUE(gs::FitsSettingsLimits(Nested(gs::kMaxElementNesting, false)));
  EXPECT_TRUE(gs::FitsSettingsLimits(Nested(gs::kMaxElementNesting, true)));
  EXPECT_FALSE(gs::FitsSettingsLimits(Nested(gs::kMaxElementNesting + 1, false)));
}

TEST(XmlPrecheck, SiblingsAndEmptyElementsDoNotAddDepth) {
  std::string wide = "<?xml version=\"1.0\"?><r>";
  for (int i = 0; i < 10000; ++i) wide += "<a/><b></b><!-- c -->";
  wide += "</r>";
  EXPECT_TRUE(gs::FitsSettingsLimits(wide));
}

TEST(XmlPrecheck, RefusesFilesAboveTheSizeLimit) {
  EXPECT_TRUE(gs::FitsSettingsLimits(std::string(gs::kMaxSettingsFileBytes, ' ')));
  EXPECT_FALSE(gs::FitsSettingsLimits(std::string(gs::kMaxSettingsFileBytes + 1, ' ')));
}

}  // namespace

namespace {

// The depth of the tree the parser built, walked without recursion.
int TreeDepth(const TiXmlNode* root) {
  int deepest = 0;
  std::vector<std::pair<const TiXmlNode*, int>> stack{{root, 0}};
  while (!stack.empty()) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    deepest = std::max(deepest, depth);
    for (const TiXmlNode* c = node->FirstChild(); c; c = c->NextSibling())
      if (c->ToElement()) stack.push_back({c, depth + 1});
  }
  return deepest;
}

struct Construction {
  const char* what;
  std::string unit;  // repeated tens of thousands of times after the declaration
};

}  // namespace

// Whatever hides an end tag from a lexical count (comments, CDATA, quoted
// values, processing instructions, DOCTYPE, declarations), a document that
// really nests too deep is refused before the parser sees it.
TEST(XmlPrecheck, EveryConstructionThatNestsTooDeepIsRefused) {
  const Construction table[] = {
      {"plain elements", "<a>"},
      {"end tags in comments", "<a><!--</b>-->"},
      {"end tags in CDATA", "<a><![CDATA[</b>]]>"},
      {"end tags in attribute values", "<a x=\"</b>\" y='</c>'>"},
      {"end tags in processing instructions", "<a><?pi </b>?>"},
      {"end tags in a DOCTYPE", "<a><!DOCTYPE d </b>>"},
      {"end tags in a quoted declaration value", "<a><?xml version=\"</b>\"?>"},
      {"self-closing lookalikes in values", "<a x=\"/>\">"},
  };
  for (const auto& row : table) {
    std::string doc = "<?xml version=\"1.0\"?>";
    for (int i = 0; i < 50000; ++i) doc += row.unit;
    EXPECT_FALSE(gs::FitsSettingsLimits(doc)) << row.what;
    gs::GsXml xml;
    EXPECT_FALSE(xml.OpenText(doc)) << row.what;
  }
}

// The parser's cost grows with the square of an element's attributes: a
// file of a megabyte of them would take minutes. Settings elements have few.
TEST(XmlPrecheck, ElementsWithThousandsOfAttributesAreRefused) {
  auto element = [](int attributes) {
    std::string s = "<?xml version=\"1.0\"?><r";
    for (int i = 0; i < attributes; ++i) s += " a" + std::to_string(i) + "=\"\"";
    return s + "/>";
  };
  EXPECT_TRUE(gs::FitsSettingsLimits(element(gs::kMaxElementAttributes)));
  EXPECT_FALSE(gs::FitsSettingsLimits(element(gs::kMaxElementAttributes + 1)));
  EXPECT_FALSE(gs::FitsSettingsLimits(element(90000)));
}

// Markup inside comments, CDATA and values is text: a real document that
// holds some still opens, and the parser's tree is as deep as counted.
TEST(XmlPrecheck, MarkupInsideTextIsNotCountedAndTheParserAgrees) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root>";
  const int depth = gs::kMaxElementNesting - 1;
  for (int i = 0; i < depth; ++i) doc += "<e k=\"<x>\"><!-- <old> --><![CDATA[<y>]]><?pi <z> ?>";
  for (int i = 0; i < depth; ++i) doc += "</e>";
  doc += "</root>";
  ASSERT_TRUE(gs::FitsSettingsLimits(doc));
  TiXmlDocument parsed;
  ASSERT_TRUE(gs::ParseChecked(doc, parsed));
  EXPECT_EQ(TreeDepth(&parsed), depth + 1);
}

// Truncated and malformed input the parser would read past its buffer on
// (cut multi-byte sequences, unterminated comments, quotes, CDATA): refused,
// or parsed from a padded buffer; never a crash (valgrind replays these in
// fuzz.fuzz_configxml).
TEST(XmlPrecheck, TruncatedAndMalformedInputIsRefused) {
  const std::string decl = "<?xml version=\"1.0\"?>";
  const std::string refused[] = {
      decl + "<r a=\"\xE2\x82",  decl + "<r>\xF0\x9F", decl + "<r>\xE2</r>",     decl + "<r><!-- open",
      decl + "<r a=\"open",      decl + "<r><![CDATA[x", decl + "<r><!DOCTYPE", "\xEF\xBB\xBF<?xml?><r>\xC3</r>",
      decl + "<r></r",           decl + "<r><a>",       decl + "<r a=b\"c\"/>",  decl + "<r a></r>",
  };
  for (const auto& text : refused) {
    EXPECT_FALSE(gs::FitsSettingsLimits(text)) << text;
    gs::GsXml xml;
    EXPECT_FALSE(xml.OpenText(text)) << text;
  }
  // 8-bit text declared as such is read byte by byte, as before.
  gs::GsXml latin;
  EXPECT_TRUE(latin.OpenText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xE9</r>"));
}
