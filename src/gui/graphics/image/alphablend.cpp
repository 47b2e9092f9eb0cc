#include "src/gui/graphics/image/alphablend.h"

#include <algorithm>
#include <cassert>

namespace gs {

namespace {

constexpr unsigned kMax = 255;

constexpr unsigned Scale(unsigned value, unsigned factor) { return value * factor / kMax; }
constexpr std::uint8_t Cap(unsigned value) { return static_cast<std::uint8_t>(std::min(value, kMax)); }

// Calls fn(dstPixel, srcPixel) for the overlap of src placed at (x, y).
template <typename Fn>
void ForOverlap(GsBitmap& dst, int x, int y, const GsBitmap& src, Fn fn) {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = std::min(dst.Width(), x + src.Width()), y1 = std::min(dst.Height(), y + src.Height());
  for (int row = y0; row < y1; ++row) {
    Pixel* d = dst.Row(row);
    const Pixel* s = src.Row(row - y);
    for (int col = x0; col < x1; ++col) fn(d[col], s[col - x]);
  }
}

Pixel BlendPerPixel(Pixel d, Pixel s, unsigned constant) {
  const unsigned a = Scale(AlphaOf(s), constant);
  const unsigned keep = kMax - a;
  return MakePixel(Cap(a + Scale(AlphaOf(d), keep)), Cap(Scale(RedOf(s), constant) + Scale(RedOf(d), keep)),
                   Cap(Scale(GreenOf(s), constant) + Scale(GreenOf(d), keep)),
                   Cap(Scale(BlueOf(s), constant) + Scale(BlueOf(d), keep)));
}

Pixel BlendConstant(Pixel d, Pixel s, unsigned constant) {
  const unsigned keep = kMax - constant;
  return MakePixel(Cap(Scale(kMax, constant) + Scale(AlphaOf(d), keep)),
                   Cap(Scale(RedOf(s), constant) + Scale(RedOf(d), keep)),
                   Cap(Scale(GreenOf(s), constant) + Scale(GreenOf(d), keep)),
                   Cap(Scale(BlueOf(s), constant) + Scale(BlueOf(d), keep)));
}

// a * s + (1 - a) * d with a = (value / 255) * (alpha / 255), fraction dropped.
std::uint8_t Mix(std::uint8_t s, std::uint8_t d, double a) { return static_cast<std::uint8_t>(a * s + (1.0 - a) * d); }

}  // namespace

void Premultiply(GsBitmap& bitmap) {
  if (!bitmap.Is32Bit()) return;
  for (int y = 0; y < bitmap.Height(); ++y) {
    Pixel* row = bitmap.Row(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      const unsigned a = AlphaOf(row[x]);
      row[x] = MakePixel(static_cast<std::uint8_t>(a), Scale(RedOf(row[x]), a), Scale(GreenOf(row[x]), a),
                         Scale(BlueOf(row[x]), a));
    }
  }
}

void AlphaBlend(GsBitmap& dst, int x, int y, const GsBitmap& src, std::uint8_t constantAlpha) {
  if (src.Is32Bit())
    ForOverlap(dst, x, y, src, [constantAlpha](Pixel& d, Pixel s) { d = BlendPerPixel(d, s, constantAlpha); });
  else
    ForOverlap(dst, x, y, src, [constantAlpha](Pixel& d, Pixel s) { d = BlendConstant(d, s, constantAlpha); });
}

void CopyOpaque(GsBitmap& dst, int x, int y, const GsBitmap& src) {
  ForOverlap(dst, x, y, src, [](Pixel& d, Pixel s) { d = s | 0xFF000000u; });
}

void Composite(GsBitmap& target, int x, int y, const GsBitmap& picture, GsAlphaFormat format,
               std::uint8_t alphaValue) {
  if (target.Is32Bit()) {
    if (format == gafPremultiplied) {
      AlphaBlend(target, x, y, picture, alphaValue);
      return;
    }
    GsBitmap copy = picture;
    Premultiply(copy);
    if (format == gafIgnored) CopyOpaque(target, x, y, copy);
    else AlphaBlend(target, x, y, copy, alphaValue);
    return;
  }
  if (format == gafPremultiplied) {
    AlphaBlend(target, x, y, picture, alphaValue);
    return;
  }
  assert(picture.Is32Bit() && "blending onto a 24-bit target needs a 32-bit picture");
  if (!picture.Is32Bit()) {
    CopyOpaque(target, x, y, picture);
    return;
  }
  const double constant = alphaValue / 255.0;
  ForOverlap(target, x, y, picture, [constant](Pixel& d, Pixel s) {
    const double a = constant * (AlphaOf(s) / 255.0);
    d = MakePixel(AlphaOf(d), Mix(RedOf(s), RedOf(d), a), Mix(GreenOf(s), GreenOf(d), a),
                  Mix(BlueOf(s), BlueOf(d), a));
  });
}

}  // namespace gs
