// The texts of the checks before erasing: numbers written into "%1"/"%2",
// the limit in the unit the other texts use.

#include <gtest/gtest.h>

#include "config/checkboxes.h"

namespace {

TEST(CheckTexts, NumbersGoWhereTheTranslationPutsThem) {
  EXPECT_EQ(FillIn(L"USB disk: %1 MB, needed: %2 MB.", L"63", L"1001"), L"USB disk: 63 MB, needed: 1001 MB.");
  EXPECT_EQ(FillIn(L"%2 before %1, %1 twice", L"a", L"b"), L"b before a, a twice");
  EXPECT_EQ(FillIn(L"no number", L"1"), L"no number");
}

TEST(CheckTexts, TheFat32LimitIsShownInMegabytes) {
  EXPECT_EQ(FileLimitText(4ull << 30), L"4096 MB");
  EXPECT_EQ(FileLimitText(2ull << 30), L"2048 MB");
}

}  // namespace
