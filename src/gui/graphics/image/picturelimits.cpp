#include "src/gui/graphics/image/picturelimits.h"

#include <cstdint>
#include <cstdlib>

#include "platform/littleendian.h"

namespace gs {

namespace {

std::uint32_t Be32(std::string_view b, std::size_t at) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) << 24) |
         (static_cast<unsigned char>(b[at + 1]) << 16) | (static_cast<unsigned char>(b[at + 2]) << 8) |
         static_cast<unsigned char>(b[at + 3]);
}

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;
constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);

// A device-independent bitmap: the info header at the start of dib, pixels
// at pixelOffset of it. An icon's picture declares twice its height (the
// pixels and the AND mask).
bool PlausibleDib(std::string_view dib, std::uint64_t pixelOffset, bool icon) {
  if (dib.size() < 12) return false;
  const std::uint32_t headerSize = platform::ReadLe32(dib.data());
  std::int64_t width, height;
  std::uint32_t bpp, compression = kBiRgb;
  if (headerSize == 12) {
    width = platform::ReadLe16(dib.data() + 4);
    height = static_cast<std::int16_t>(platform::ReadLe16(dib.data() + 6));
    bpp = platform::ReadLe16(dib.data() + 10);
  } else if (headerSize >= 40 && dib.size() >= 40) {
    width = static_cast<std::int32_t>(platform::ReadLe32(dib.data() + 4));
    height = static_cast<std::int32_t>(platform::ReadLe32(dib.data() + 8));
    bpp = platform::ReadLe16(dib.data() + 14);
    compression = platform::ReadLe32(dib.data() + 16);
  } else {
    return false;
  }
  if (height == INT32_MIN) return false;
  std::uint64_t rows = static_cast<std::uint64_t>(std::llabs(height));
  if (icon) rows /= 2;  // the picture and its mask share the height
  if (width <= 0 || rows == 0 || bpp == 0 || bpp > 32) return false;
  if (!FitsPictureLimits(static_cast<std::uint64_t>(width), rows)) return false;
  if (compression != kBiRgb && compression != kBiBitfields && compression != kBiAlphaBitfields) return true;
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bpp + 31) / 32 * 4;
  // An icon's mask after the pixels is not required: a missing one reads
  // as opaque.
  return pixelOffset + stride * rows <= dib.size();
}

}  // namespace

bool FitsPictureLimits(std::uint64_t width, std::uint64_t height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

bool PlausibleBmp(std::string_view bytes) {
  if (bytes.size() < 14 + 12 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const std::uint32_t pixelOffset = platform::ReadLe32(bytes.data() + 10);
  if (pixelOffset < 14 || pixelOffset > bytes.size()) return false;
  return PlausibleDib(bytes.substr(14), pixelOffset - 14, false);
}

bool PlausibleIco(std::string_view bytes) {
  if (bytes.size() < 6 || platform::ReadLe16(bytes.data()) != 0) return false;
  const std::uint32_t type = platform::ReadLe16(bytes.data() + 2), count = platform::ReadLe16(bytes.data() + 4);
  if ((type != 1 && type != 2) || count == 0 || 6 + 16ull * count > bytes.size()) return false;
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::size_t entry = 6 + 16 * k;
    const std::uint64_t size = platform::ReadLe32(bytes.data() + entry + 8), offset = platform::ReadLe32(bytes.data() + entry + 12);
    if (size == 0 || offset > bytes.size() || size > bytes.size() - offset) return false;
    const std::string_view picture = bytes.substr(offset, size);
    if (picture.substr(0, 8) == kPngSignature) {
      if (picture.size() < 24 || !FitsPictureLimits(Be32(picture, 16), Be32(picture, 20))) return false;
    } else if (picture.size() < 4 || !PlausibleDib(picture, platform::ReadLe32(picture.data()), true)) {
      return false;
    }
  }
  return true;
}

}  // namespace gs
