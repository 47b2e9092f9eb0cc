#pragma once
// Draws text through its coverage mask: the mask's blue channel becomes the
// alpha of a fill in the font colour (premultiplied), blended onto the
// target with the platform alpha blend at full constant opacity.
// The target may be 24- or 32-bit.

#include <string>

#include "src/gui/Painter/TextPainter/textrasterizer.h"

namespace gs {

// A premultiplied 32-bit layer of the colour with alpha = the mask's blue.
GsBitmap ColourLayer(const GsBitmap& mask, GsColor colour);

void DrawMaskedText(GsBitmap& target, const GsRect& box, const std::wstring& text, const GsFont& font,
                    const TextLayout& layout, TextRasterizer& rasterizer);

}  // namespace gs
