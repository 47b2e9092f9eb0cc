#include "src/gui/Painter/TextPainter/tradiatetextpainter.h"

#include <gtest/gtest.h>

#include "guitest.h"
#include "src/gui/Painter/TextPainter/touterglowtextpainter.h"

namespace {

using namespace gs;

TEST(RadiateKernel, RadiusTwoWithoutSpreadFallsOffAsAGaussian) {
  // 256 * exp(-t^2 / 6) truncated, for t^2 = 0, 1, 2, 4, 5, 8.
  const std::vector<int> expected = {
      67,  111, 131, 111, 67,   //
      111, 183, 216, 183, 111,  //
      131, 216, 256, 216, 131,  //
      111, 183, 216, 183, 111,  //
      67,  111, 131, 111, 67};
  EXPECT_EQ(TRadiateTextPainter::MakeKernel(2, 0, 255), expected);
}

TEST(RadiateKernel, OpacityScalesAndFullSpreadFillsTheDisc) {
  EXPECT_EQ(TRadiateTextPainter::MakeKernel(0, 0, 255), std::vector<int>{256});
  EXPECT_EQ(TRadiateTextPainter::MakeKernel(0, 0, 128), std::vector<int>{128});
  const auto half = TRadiateTextPainter::MakeKernel(2, 0, 128);
  EXPECT_EQ(half[12], 128);
  EXPECT_EQ(half[0], 33);
  const auto spread = TRadiateTextPainter::MakeKernel(2, 255, 255);
  EXPECT_EQ(spread[12], 256);
  EXPECT_EQ(spread[10], 256);  // t = 2 <= d = 2
  EXPECT_EQ(spread[0], 181);  // d = 2, e = 1: 256 * exp(-(2.83 - 2)^2 / 2)
}

TEST(RadiateKernel, KernelIsRemadeOnlyWhenParametersChange) {
  TRadiateTextPainter painter;
  const int* first = painter.Kernel(2, 0, 255).data();
  EXPECT_EQ(painter.Kernel(2, 0, 255).data(), first);
  EXPECT_EQ(painter.Kernel(2, 0, 128)[12], 128);
}

TEST(RadiateDilation, TakesTheMaximumNotTheSum) {
  GsBitmap mask = guitest::Solid(5, 1, 0xFF000000u);
  mask.At(1, 0) = 0xFFFFFFFFu;
  mask.At(3, 0) = 0xFFFFFFFFu;
  const auto glow = TRadiateTextPainter::Dilate(mask, TRadiateTextPainter::MakeKernel(1, 0, 255), 1);
  // Cell at distance 1 for r = 1: trunc(256 * exp(-1/4)) = 199; 255 * 199 / 256 = 198.
  EXPECT_EQ(glow, (std::vector<std::uint8_t>{198, 255, 198, 255, 198}));
}

TEST(RadiateTextPainter, GlowReachesRadiusPixelsBeyondTheLetters) {
  guitest::BlockRasterizer letters(4, 3);
  TRadiateTextPainter painter;
  GsBitmap target(20, 15);
  GlowParams glow;
  glow.radius = 2;
  painter.Draw(target, GsRect{0, 0, 20, 15}, L"x", GsFont{}, TextLayout{}, glow, letters);
  ASSERT_EQ(letters.requests.size(), 1u);
  EXPECT_EQ(letters.requests[0], (GsRect{2, 2, 18, 13}));  // inset by the radius
  // The block covers x 8..11, y 6..8; the glow covers two more pixels each way.
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 20; ++x) {
      const bool inside = x >= 6 && x <= 13 && y >= 4 && y <= 10;
      EXPECT_EQ(AlphaOf(target.At(x, y)) > 0, inside) << x << "," << y;
    }
  EXPECT_EQ(target.At(9, 7), MakePixel(255, 255, 255, 191));  // full glow colour on the letters
  EXPECT_EQ(AlphaOf(target.At(6, 7)), 255 * 131 / 256);      // two pixels out along the row
}

TEST(OuterGlowTextPainter, RadiusZeroDrawsOnlyTheTextInTheFontColour) {
  guitest::BlockRasterizer letters(2, 2);
  TOuterGlowTextPainter painter;
  GsBitmap target(6, 4);
  GsFont font;
  font.color = {10, 20, 30};
  painter.Draw(target, GsRect{0, 0, 6, 4}, L"x", font, TextLayout{}, GlowParams{}, letters);
  ASSERT_EQ(letters.requests.size(), 1u);
  EXPECT_EQ(target.At(2, 1), MakePixel(255, 10, 20, 30));
  EXPECT_EQ(target.At(0, 0), 0u);
}

TEST(OuterGlowTextPainter, TextBoxShrinksByRadiusAndOffset) {
  guitest::BlockRasterizer letters(2, 2);
  TOuterGlowTextPainter painter;
  GsBitmap target(30, 20);
  GlowParams glow;
  glow.radius = 3;
  glow.offsetX = 2;
  glow.offsetY = 1;
  painter.Draw(target, GsRect{0, 0, 30, 20}, L"x", GsFont{}, TextLayout{}, glow, letters);
  ASSERT_EQ(letters.requests.size(), 2u);
  EXPECT_EQ(letters.requests[0], (GsRect{3, 3, 27, 17}));  // glow mask, box moved by the offset
  EXPECT_EQ(letters.requests[1], (GsRect{0, 0, 22, 13}));  // text: box (3, 3)-(25, 16) in its own mask
}

}  // namespace
