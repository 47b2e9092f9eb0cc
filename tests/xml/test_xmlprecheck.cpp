#include "src/xml/xmlprecheck.h"

#include <gtest/gtest.h>

#include <string>

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
