#pragma once
// GsBitmap: the kit's own pixel buffer, as the skinned controls paint it.
//
// Pixels are 32-bit values 0xAARRGGBB, top row first. A 32-bit bitmap uses
// the alpha byte (straight or premultiplied, as its user says); a 24-bit
// bitmap has no alpha: the byte is kept but never read as coverage, so such
// a bitmap always covers its area. A bitmap with zero width or height is
// empty. Plain value type; not shared between threads.

#include <cstdint>
#include <vector>

namespace gs {

enum class PixelFormat { pf24bit, pf32bit };

using Pixel = std::uint32_t;

constexpr std::uint8_t AlphaOf(Pixel p) { return static_cast<std::uint8_t>(p >> 24); }
constexpr std::uint8_t RedOf(Pixel p) { return static_cast<std::uint8_t>(p >> 16); }
constexpr std::uint8_t GreenOf(Pixel p) { return static_cast<std::uint8_t>(p >> 8); }
constexpr std::uint8_t BlueOf(Pixel p) { return static_cast<std::uint8_t>(p); }
constexpr Pixel MakePixel(std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return (Pixel(a) << 24) | (Pixel(r) << 16) | (Pixel(g) << 8) | Pixel(b);
}

struct GsColor {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const GsColor&, const GsColor&) = default;
};

class GsBitmap {
 public:
  GsBitmap() = default;
  // A bitmap cleared to 0 (transparent black). Negative sizes count as 0.
  GsBitmap(int width, int height, PixelFormat format = PixelFormat::pf32bit);

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  PixelFormat Format() const { return m_format; }
  bool Is32Bit() const { return m_format == PixelFormat::pf32bit; }
  bool Empty() const { return m_width <= 0 || m_height <= 0; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }

  // Unchecked access; (x, y) must lie inside.
  Pixel At(int x, int y) const { return m_pixels[static_cast<std::size_t>(y) * m_width + x]; }
  Pixel& At(int x, int y) { return m_pixels[static_cast<std::size_t>(y) * m_width + x]; }
  const Pixel* Row(int y) const { return m_pixels.data() + static_cast<std::size_t>(y) * m_width; }
  Pixel* Row(int y) { return m_pixels.data() + static_cast<std::size_t>(y) * m_width; }

  void Fill(Pixel value);
  void SetFormat(PixelFormat format) { m_format = format; }

  // The part of this bitmap at (x, y) of the given size; areas outside
  // this bitmap come out as 0. Same pixel format.
  GsBitmap Section(int x, int y, int width, int height) const;
  // Copies src into this bitmap with its top-left at (x, y), clipped.
  void CopyFrom(const GsBitmap& src, int x, int y);

  friend bool operator==(const GsBitmap&, const GsBitmap&) = default;

 private:
  int m_width = 0;
  int m_height = 0;
  PixelFormat m_format = PixelFormat::pf32bit;
  std::vector<Pixel> m_pixels;
};

}  // namespace gs
