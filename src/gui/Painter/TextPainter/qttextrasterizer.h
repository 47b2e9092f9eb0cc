#pragma once
// The text rasterizer of the windows: Qt draws the text in grey-scale
// anti-aliasing into the mask. Needs a QGuiApplication; user-interface
// thread only.
//
// The face names the windows use resolve to metric-compatible faces where
// the machine has them ("Microsoft Sans Serif" and "Tahoma" to Liberation
// Sans, "MS UI Gothic" to an installed Japanese gothic face).

#include "src/gui/Painter/TextPainter/textrasterizer.h"

class QFont;

namespace gs {

class QtTextRasterizer final : public TextRasterizer {
 public:
  QtTextRasterizer();
  GsBitmap RenderMask(const std::wstring& text, const GsFont& font, int width, int height, const GsRect& textRect,
                      const TextLayout& layout) override;
  int WrappedHeight(const std::wstring& text, const GsFont& font, int width) override;

  // The shared rasterizer of the skinned controls.
  static QtTextRasterizer& Shared();
};

// Registers the face substitutions once per process.
void InstallFontSubstitutes();
QFont ToQFont(const GsFont& font);

}  // namespace gs
