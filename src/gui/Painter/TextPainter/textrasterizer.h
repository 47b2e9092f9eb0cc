#pragma once
// Turns text into a coverage mask: white text on black. The painters do all
// the arithmetic on the mask; only this step needs a font engine.

#include <string>

#include "src/gui/Painter/TextPainter/gsfont.h"
#include "src/gui/Painter/TextPainter/textlayout.h"
#include "src/gui/graphics/image/gsbitmap.h"

namespace gs {

class TextRasterizer {
 public:
  virtual ~TextRasterizer() = default;
  // A 32-bit bitmap of width x height, black (0xFF000000) with the text in
  // white, laid out inside textRect (bitmap coordinates) and clipped to it.
  // The blue channel is the coverage. The font colour is not used.
  virtual GsBitmap RenderMask(const std::wstring& text, const GsFont& font, int width, int height,
                              const GsRect& textRect, const TextLayout& layout) = 0;
  // The height of the text broken at words to fit the width, in pixels.
  virtual int WrappedHeight(const std::wstring& text, const GsFont& font, int width) = 0;
};

}  // namespace gs
