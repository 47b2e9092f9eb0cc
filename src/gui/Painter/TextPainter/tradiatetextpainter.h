#pragma once
// TRadiateTextPainter: the soft glow behind a text. The text's coverage
// mask is dilated with a (2r + 1) x (2r + 1) kernel: each pixel takes the
// largest mask x cell / 256 over the cells that stay inside the box, so
// the glow reaches exactly r pixels beyond the letters along the axes.

#include <cstdint>
#include <string>
#include <vector>

#include "src/gui/Painter/TextPainter/glowparams.h"
#include "src/gui/Painter/TextPainter/textrasterizer.h"

namespace gs {

class TRadiateTextPainter {
 public:
  // Kernel cells, row by row, centre at (r, r). With s = spread / 255,
  // o = opacity / 255, d = r * s, e = r - d + 1 and t the cell's distance
  // from the centre: trunc(256 * o) when t <= d, otherwise
  // trunc(256 * o * min(1, exp(-(t - d)^2 / (2e)))). r = 0 gives one cell.
  static std::vector<int> MakeKernel(int radius, std::uint8_t spread, std::uint8_t opacity);

  // The dilation of the mask's blue channel: one glow value (0..255) per
  // pixel, row by row.
  static std::vector<std::uint8_t> Dilate(const GsBitmap& mask, const std::vector<int>& kernel, int radius);

  // The kernel for the parameters, remade only when they change.
  const std::vector<int>& Kernel(int radius, std::uint8_t spread, std::uint8_t opacity);

  // Draws the glow of the text laid out in box (inset by the radius) onto
  // the target in glow.color. Nothing for radius 0.
  void Draw(GsBitmap& target, const GsRect& box, const std::wstring& text, const GsFont& font,
            const TextLayout& layout, const GlowParams& glow, TextRasterizer& rasterizer);

 private:
  std::vector<int> m_kernel;
  int m_radius = -1;
  std::uint8_t m_spread = 0;
  std::uint8_t m_opacity = 0;
};

}  // namespace gs
