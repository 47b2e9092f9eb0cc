#pragma once
// Helpers of the kit's tests: the Qt application, solid pictures and a
// rasterizer whose "letters" are a plain block, so glyph shapes never
// enter a pixel-exact expectation.

#include <string>
#include <vector>

#include "src/gui/Painter/TextPainter/textrasterizer.h"
#include "src/gui/graphics/image/gsbitmap.h"

namespace guitest {

// Makes the QApplication (offscreen) on first use.
void EnsureQtApp();

gs::GsBitmap Solid(int width, int height, gs::Pixel value, gs::PixelFormat format = gs::PixelFormat::pf32bit);

// Draws every text as a white block of blockWidth x blockHeight, placed in
// the text rectangle by the layout's alignment (single lines centred
// vertically).
class BlockRasterizer final : public gs::TextRasterizer {
 public:
  BlockRasterizer(int blockWidth, int blockHeight) : m_w(blockWidth), m_h(blockHeight) {}
  gs::GsBitmap RenderMask(const std::wstring& text, const gs::GsFont& font, int width, int height,
                          const gs::GsRect& textRect, const gs::TextLayout& layout) override;
  int WrappedHeight(const std::wstring&, const gs::GsFont&, int) override { return m_h; }

  std::vector<gs::GsRect> requests;  // the text rectangles asked for
  std::vector<gs::GsFont> fonts;

 private:
  int m_w, m_h;
};

}  // namespace guitest
