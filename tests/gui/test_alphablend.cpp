#include "src/gui/graphics/image/alphablend.h"

#include <gtest/gtest.h>

#include "guitest.h"

namespace {

using namespace gs;
using guitest::Solid;

TEST(Premultiply, ScalesEachChannelByAlphaDroppingTheFraction) {
  GsBitmap b = Solid(1, 1, MakePixel(128, 200, 100, 3));
  Premultiply(b);
  EXPECT_EQ(b.At(0, 0), MakePixel(128, 100, 50, 1));
  GsBitmap clear = Solid(1, 1, MakePixel(0, 255, 255, 255));
  Premultiply(clear);
  EXPECT_EQ(clear.At(0, 0), 0u);
  GsBitmap rgb = Solid(1, 1, MakePixel(0, 9, 9, 9), PixelFormat::pf24bit);
  Premultiply(rgb);  // no alpha: untouched
  EXPECT_EQ(rgb.At(0, 0), MakePixel(0, 9, 9, 9));
}

TEST(AlphaBlend, PerPixelAlphaOverOpaqueTarget) {
  GsBitmap dst = Solid(2, 1, MakePixel(255, 10, 20, 250));
  const GsBitmap src = Solid(1, 1, MakePixel(128, 100, 50, 1));
  AlphaBlend(dst, 1, 0, src, 255);
  EXPECT_EQ(dst.At(0, 0), MakePixel(255, 10, 20, 250));  // outside the source
  EXPECT_EQ(dst.At(1, 0), MakePixel(255, 104, 59, 125));
}

TEST(AlphaBlend, ConstantAlphaScalesPremultipliedSourceFirst) {
  GsBitmap dst = Solid(1, 1, MakePixel(255, 10, 20, 250));
  AlphaBlend(dst, 0, 0, Solid(1, 1, MakePixel(128, 100, 50, 1)), 128);
  EXPECT_EQ(dst.At(0, 0), MakePixel(255, 57, 39, 187));
}

TEST(AlphaBlend, TwentyFourBitSourceUsesOnlyTheConstant) {
  GsBitmap dst = Solid(1, 1, MakePixel(255, 0, 255, 100));
  AlphaBlend(dst, 0, 0, Solid(1, 1, MakePixel(0, 200, 0, 50), PixelFormat::pf24bit), 100);
  EXPECT_EQ(dst.At(0, 0), MakePixel(255, 78, 155, 79));
  GsBitmap covered = Solid(1, 1, MakePixel(255, 1, 2, 3));
  AlphaBlend(covered, 0, 0, Solid(1, 1, MakePixel(0, 7, 8, 9), PixelFormat::pf24bit), 255);
  EXPECT_EQ(covered.At(0, 0), MakePixel(255, 7, 8, 9));  // a 24-bit picture covers completely
}

TEST(AlphaBlend, ClipsAtEveryEdge) {
  GsBitmap dst(3, 3);
  AlphaBlend(dst, -2, -2, Solid(3, 3, 0xFFFFFFFFu), 255);
  AlphaBlend(dst, 2, 2, Solid(3, 3, 0xFFFFFFFFu), 255);
  EXPECT_EQ(dst.At(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(dst.At(1, 0), 0u);
  EXPECT_EQ(dst.At(2, 2), 0xFFFFFFFFu);
  EXPECT_EQ(dst.At(1, 1), 0u);
}

TEST(Composite, ThirtyTwoBitTargetPremultipliesStraightPicturesBeforeBlending) {
  GsBitmap target = Solid(1, 1, MakePixel(255, 10, 20, 250));
  Composite(target, 0, 0, Solid(1, 1, MakePixel(128, 200, 100, 3)), gafDefined, 255);
  EXPECT_EQ(target.At(0, 0), MakePixel(255, 104, 59, 125));
}

TEST(Composite, IgnoredFormatCopiesThePremultipliedPictureOpaquely) {
  GsBitmap target = Solid(1, 1, MakePixel(255, 10, 20, 250));
  Composite(target, 0, 0, Solid(1, 1, MakePixel(128, 200, 100, 3)), gafIgnored, 10);
  EXPECT_EQ(target.At(0, 0), MakePixel(255, 100, 50, 1));
}

TEST(Composite, PremultipliedFormatBlendsAsItIs) {
  GsBitmap target = Solid(1, 1, MakePixel(255, 10, 20, 250));
  Composite(target, 0, 0, Solid(1, 1, MakePixel(128, 100, 50, 1)), gafPremultiplied, 128);
  EXPECT_EQ(target.At(0, 0), MakePixel(255, 57, 39, 187));
}

TEST(Composite, TwentyFourBitTargetMixesWithStraightAlphaTimesAlphaValue) {
  GsBitmap target = Solid(1, 1, MakePixel(0, 0, 100, 200), PixelFormat::pf24bit);
  Composite(target, 0, 0, Solid(1, 1, MakePixel(100, 255, 0, 128)), gafDefined, 200);
  // a = 200/255 * 100/255 = 0.30757...
  EXPECT_EQ(RedOf(target.At(0, 0)), 78);
  EXPECT_EQ(GreenOf(target.At(0, 0)), 69);
  EXPECT_EQ(BlueOf(target.At(0, 0)), 177);
}

TEST(Composite, TwentyFourBitTargetWithPremultipliedPictureUsesThePlatformBlend) {
  GsBitmap target = Solid(1, 1, MakePixel(255, 10, 20, 250), PixelFormat::pf24bit);
  Composite(target, 0, 0, Solid(1, 1, MakePixel(128, 100, 50, 1)), gafPremultiplied, 255);
  EXPECT_EQ(target.At(0, 0) & 0x00FFFFFFu, MakePixel(0, 104, 59, 125));
}

}  // namespace
