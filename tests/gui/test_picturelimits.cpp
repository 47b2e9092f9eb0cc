// Pictures cost what a banner can use: headers that declare more pixels than
// the limits, or more rows than the file holds, fail before the decoders
// allocate; pictures within the limits still load.
#include "src/gui/graphics/image/picturelimits.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <png.h>
#include <zlib.h>

#include <QBuffer>
#include <QImage>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "guitest.h"
#include "src/gui/graphics/image/pictureloader.h"

namespace {

using namespace gs;

std::string Be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string Chunk(const std::string& type, const std::string& data) {
  std::string body = type + data;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return Be32(static_cast<std::uint32_t>(data.size())) + body + Be32(static_cast<std::uint32_t>(crc));
}

// A PNG of the given header whose rows come from row(y) (each with its
// filter byte); without rows only the header and the end.
std::string MakePng(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType, int interlace,
                    const std::function<std::string(std::uint32_t)>& row = {}) {
  std::string ihdr = Be32(width) + Be32(height);
  ihdr += {static_cast<char>(bitDepth), static_cast<char>(colorType), 0, 0, static_cast<char>(interlace)};
  std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr);
  if (row) {
    std::string raw;
    for (std::uint32_t y = 0; y < height; ++y) raw += row(y);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 9);
    packed.resize(size);
    png += Chunk("IDAT", packed);
  }
  return png + Chunk("IEND", "");
}

// An interlaced PNG written by libpng itself (8-bit RGB).
std::string InterlacedPng(std::uint32_t width, std::uint32_t height) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), n);
      },
      nullptr);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_byte> pixels(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<png_byte>(i * 31);
  std::vector<png_bytep> rows(height);
  for (std::uint32_t y = 0; y < height; ++y) rows[y] = pixels.data() + static_cast<std::size_t>(y) * width * 3;
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::string NoisyRow(std::uint32_t bytes, std::uint32_t y) {
  std::string r(bytes + 1, '\0');
  for (std::uint32_t x = 1; x <= bytes; ++x) r[x] = static_cast<char>((x * 2654435761u + y * 40503u) >> 13);
  return r;
}

std::string Bmp(std::int32_t width, std::int32_t height, std::uint16_t bpp, std::size_t pixelBytes) {
  auto le32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
  };
  std::string info = le32(40) + le32(static_cast<std::uint32_t>(width)) + le32(static_cast<std::uint32_t>(height));
  info += std::string{1, 0, static_cast<char>(bpp), 0} + le32(0) + le32(0) + le32(2835) + le32(2835) + le32(0) +
          le32(0);
  std::string file = "BM" + le32(static_cast<std::uint32_t>(14 + 40 + pixelBytes)) + le32(0) + le32(14 + 40) + info;
  return file + std::string(pixelBytes, '\x7f');
}

std::string SavedByQt(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

struct Case {
  const char* what;
  PictureKind kind;
  std::string bytes;
  bool loads;
};

}  // namespace

TEST(PictureLimits, DeclaredSizesBeyondABannerOrBeyondTheFileFailBeforeAllocating) {
  guitest::EnsureQtApp();
  QImage small(40, 20, QImage::Format_ARGB32);
  small.fill(QColor(10, 20, 30, 200));
  std::string ico = SavedByQt(small, "ICO");
  std::string icoOutside = ico;
  icoOutside[6 + 12] = '\x7f';  // the first picture's offset beyond the file
  icoOutside[6 + 15] = '\x7f';
  // An icon directory of one entry (16 bytes after the 6-byte header) whose
  // picture, right behind it, is a PNG declaring 20000 x 20000.
  const std::string hugePng = MakePng(20000, 20000, 8, 6, 0);
  std::string icoHugePng(6 + 16, '\0');
  icoHugePng[2] = 1;  // an icon
  icoHugePng[4] = 1;  // one entry
  icoHugePng[6 + 8] = static_cast<char>(hugePng.size());
  icoHugePng[6 + 12] = static_cast<char>(icoHugePng.size());
  icoHugePng += hugePng;

  const Case table[] = {
      {"a 45-byte PNG declaring 16384 x 16384", PictureKind::Png, MakePng(16384, 16384, 8, 6, 0), false},
      {"a small valid PNG of 4096 x 4096 (64 MiB of pixels)", PictureKind::Png,
       MakePng(4096, 4096, 1, 0, 0, [](std::uint32_t) { return std::string(513, '\0'); }), false},
      {"a PNG one pixel wider than any side", PictureKind::Png,
       MakePng(kMaxPictureSide + 1, 1, 8, 0, 0, [](std::uint32_t y) { return NoisyRow(kMaxPictureSide + 1, y); }),
       false},
      {"an interlaced PNG declaring 4000 x 2000 with 2 rows of data", PictureKind::Png,
       MakePng(4000, 2, 8, 6, 1, [](std::uint32_t y) { return NoisyRow(16000, y); }).substr(0, 33) +
           MakePng(4000, 2000, 8, 6, 1, [](std::uint32_t y) { return NoisyRow(16000, y); }).substr(33, 4000),
       false},
      {"a BMP declaring 4000 x 4000 in 100 bytes", PictureKind::Bmp, Bmp(4000, 4000, 24, 46), false},
      {"a BMP declaring 5000 x 10", PictureKind::Bmp, Bmp(5000, 10, 8, 50000), false},
      {"a BMP with its last row missing", PictureKind::Bmp, Bmp(33, 7, 24, 100 * 6), false},
      {"an icon whose picture lies beyond the file", PictureKind::Ico, icoOutside, false},
      {"an icon holding a PNG of 20000 x 20000", PictureKind::Ico, icoHugePng, false},
      {"a noisy PNG of 2048 x 2048", PictureKind::Png,
       MakePng(2048, 2048, 8, 0, 0, [](std::uint32_t y) { return NoisyRow(2048, y); }), true},
      {"an interlaced PNG of 64 x 48", PictureKind::Png, InterlacedPng(64, 48), true},
      {"an interlaced PNG of 4000 x 2000 cut after its first kilobytes", PictureKind::Png,
       InterlacedPng(4000, 2000).substr(0, 4096), false},
      {"a BMP of 33 x 7", PictureKind::Bmp, Bmp(33, 7, 24, 100 * 7), true},
      {"a BMP stored top-down", PictureKind::Bmp, Bmp(33, -7, 24, 100 * 7), true},
      {"an icon made by Qt", PictureKind::Ico, ico, true},
  };
  const long before = PeakKiB();
  for (const auto& row : table) {
    GsBitmap bitmap = guitest::Solid(3, 3, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DecodePicture(row.bytes, row.kind, bitmap), row.loads) << row.what;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << row.what;
    if (!row.loads) {
      EXPECT_EQ(bitmap.Width(), 3) << row.what;  // the output is untouched
    }
  }
  // The largest picture here that loads is 2048 x 2048 (16 MiB); nothing may
  // have cost a multiple of the limit.
  EXPECT_LT(PeakKiB() - before, 160 * 1024);
}
