#include "src/gui/graphics/image/pngfile.h"

#include <gtest/gtest.h>

#include <fstream>

#include "guitest.h"
#include "testmachine.h"

namespace {

using namespace gs;

GsBitmap Pattern() {
  GsBitmap b(5, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) b.At(x, y) = MakePixel(x * 60, y * 100, x * 10 + y, 255 - x);
  return b;
}

TEST(PngFile, RoundTripKeepsStraightAlphaPixels) {
  kxtest::TempDir dir;
  const std::string path = (dir.path() / "p.png").string();
  ASSERT_TRUE(SavePng(path, Pattern()));
  GsBitmap back;
  ASSERT_TRUE(LoadPng(path, back));
  EXPECT_EQ(back, Pattern());
}

TEST(PngFile, TwentyFourBitBitmapsAreWrittenOpaque) {
  kxtest::TempDir dir;
  const std::string path = (dir.path() / "o.png").string();
  ASSERT_TRUE(SavePng(path, guitest::Solid(2, 2, MakePixel(0, 1, 2, 3), PixelFormat::pf24bit)));
  GsBitmap back;
  ASSERT_TRUE(LoadPng(path, back));
  EXPECT_EQ(back.At(1, 1), MakePixel(255, 1, 2, 3));
}

TEST(PngFile, MissingTruncatedAndForeignFilesFailAndLeaveTheOutputAlone) {
  kxtest::TempDir dir;
  const std::string good = (dir.path() / "g.png").string();
  ASSERT_TRUE(SavePng(good, Pattern()));
  const std::string bytes = kxtest::ReadHostFile(good);
  const std::string cut = (dir.path() / "cut.png").string();
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  const std::string text = (dir.path() / "t.png").string();
  std::ofstream(text) << "not a picture";

  GsBitmap out = guitest::Solid(1, 1, 0x12345678u);
  EXPECT_FALSE(LoadPng((dir.path() / "none.png").string(), out));
  EXPECT_FALSE(LoadPng(cut, out));
  EXPECT_FALSE(LoadPng(text, out));
  EXPECT_EQ(out, guitest::Solid(1, 1, 0x12345678u));
  EXPECT_FALSE(SavePng((dir.path() / "e.png").string(), GsBitmap()));
}

// The header reads fine and the pixel data ends early, so libpng gives up
// in the middle of the rows; the load must fail without a word on stderr
// (and, under valgrind or AddressSanitizer, without a leak).
TEST(PngFile, DataCutOffInTheRowsFailsSilently) {
  kxtest::TempDir dir;
  GsBitmap big(64, 300);
  for (int y = 0; y < big.Height(); ++y)
    for (int x = 0; x < big.Width(); ++x) big.At(x, y) = MakePixel(255, x * 3, y, (x * y) & 0xFF);
  const std::string good = (dir.path() / "big.png").string();
  ASSERT_TRUE(SavePng(good, big));
  const std::string bytes = kxtest::ReadHostFile(good);
  const std::string cut = (dir.path() / "cut.png").string();
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() * 3 / 4);

  GsBitmap out;
  testing::internal::CaptureStderr();
  const bool loaded = LoadPng(cut, out);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(loaded);
  EXPECT_TRUE(out.Empty());
  EXPECT_EQ(printed, "");
}

}  // namespace
