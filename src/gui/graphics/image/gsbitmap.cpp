#include "src/gui/graphics/image/gsbitmap.h"

#include <algorithm>

namespace gs {

GsBitmap::GsBitmap(int width, int height, PixelFormat format)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_format(format),
      m_pixels(static_cast<std::size_t>(m_width) * m_height, 0) {}

void GsBitmap::Fill(Pixel value) { std::fill(m_pixels.begin(), m_pixels.end(), value); }

GsBitmap GsBitmap::Section(int x, int y, int width, int height) const {
  GsBitmap part(width, height, m_format);
  part.CopyFrom(*this, -x, -y);
  return part;
}

void GsBitmap::CopyFrom(const GsBitmap& src, int x, int y) {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = std::min(m_width, x + src.Width()), y1 = std::min(m_height, y + src.Height());
  for (int row = y0; row < y1; ++row)
    std::copy(src.Row(row - y) + (x0 - x), src.Row(row - y) + (x1 - x), Row(row) + x0);
}

}  // namespace gs
