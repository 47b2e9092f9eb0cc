#pragma once
// TOuterGlowTextPainter: a caption with an optional glow behind it. With a
// radius above 0 the glow is drawn first in the box moved by the offset;
// then the text in the font colour, in the box shrunk by the radius on the
// left and top and by the radius plus the offset on the right and bottom.

#include <string>

#include "src/gui/Painter/TextPainter/tradiatetextpainter.h"

namespace gs {

class TOuterGlowTextPainter {
 public:
  void Draw(GsBitmap& target, const GsRect& box, const std::wstring& text, const GsFont& font,
            const TextLayout& layout, const GlowParams& glow, TextRasterizer& rasterizer);

 private:
  TRadiateTextPainter m_radiate;
};

}  // namespace gs
