#include "src/gui/Painter/TextPainter/touterglowtextpainter.h"

#include "src/gui/Painter/TextPainter/maskedtext.h"

namespace gs {

void TOuterGlowTextPainter::Draw(GsBitmap& target, const GsRect& box, const std::wstring& text, const GsFont& font,
                                 const TextLayout& layout, const GlowParams& glow, TextRasterizer& rasterizer) {
  const int r = glow.radius;
  if (r > 0) m_radiate.Draw(target, box.Moved(glow.offsetX, glow.offsetY), text, font, layout, glow, rasterizer);
  DrawMaskedText(target, box.Inset(r, r, r + glow.offsetX, r + glow.offsetY), text, font, layout, rasterizer);
}

}  // namespace gs
