#include "src/gui/Painter/TextPainter/maskedtext.h"

#include "src/gui/graphics/image/alphablend.h"

namespace gs {

GsBitmap ColourLayer(const GsBitmap& mask, GsColor colour) {
  GsBitmap layer(mask.Width(), mask.Height());
  for (int y = 0; y < mask.Height(); ++y)
    for (int x = 0; x < mask.Width(); ++x)
      layer.At(x, y) = MakePixel(BlueOf(mask.At(x, y)), colour.r, colour.g, colour.b);
  Premultiply(layer);
  return layer;
}

void DrawMaskedText(GsBitmap& target, const GsRect& box, const std::wstring& text, const GsFont& font,
                    const TextLayout& layout, TextRasterizer& rasterizer) {
  if (box.Width() <= 0 || box.Height() <= 0 || text.empty()) return;
  const GsBitmap mask =
      rasterizer.RenderMask(text, font, box.Width(), box.Height(), GsRect{0, 0, box.Width(), box.Height()}, layout);
  AlphaBlend(target, box.left, box.top, ColourLayer(mask, font.color), kOpaque);
}

}  // namespace gs
