#include "src/gui/Painter/TextPainter/tradiatetextpainter.h"

#include <algorithm>
#include <cmath>

#include "src/gui/graphics/image/alphablend.h"

namespace gs {

namespace {
constexpr double kKernelScale = 256.0;
constexpr int kKernelShift = 256;
}  // namespace

std::vector<int> TRadiateTextPainter::MakeKernel(int radius, std::uint8_t spread, std::uint8_t opacity) {
  const int r = std::max(radius, 0);
  const double s = spread / 255.0, o = opacity / 255.0;
  const double d = r * s, e = r - d + 1.0;
  const int side = 2 * r + 1;
  std::vector<int> kernel(static_cast<std::size_t>(side) * side);
  for (int j = -r; j <= r; ++j)
    for (int i = -r; i <= r; ++i) {
      const double t = std::sqrt(double(i * i + j * j));
      const double falloff = t <= d ? 1.0 : std::min(1.0, std::exp(-(t - d) * (t - d) / (2.0 * e)));
      kernel[static_cast<std::size_t>(j + r) * side + (i + r)] = static_cast<int>(kKernelScale * o * falloff);
    }
  return kernel;
}

std::vector<std::uint8_t> TRadiateTextPainter::Dilate(const GsBitmap& mask, const std::vector<int>& kernel,
                                                      int radius) {
  const int w = mask.Width(), h = mask.Height(), side = 2 * radius + 1;
  std::vector<std::uint8_t> glow(static_cast<std::size_t>(w) * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int best = 0;
      for (int j = std::max(-radius, -y); j <= std::min(radius, h - 1 - y); ++j)
        for (int i = std::max(-radius, -x); i <= std::min(radius, w - 1 - x); ++i) {
          const int m = BlueOf(mask.At(x + i, y + j));
          best = std::max(best, m * kernel[static_cast<std::size_t>(j + radius) * side + (i + radius)] / kKernelShift);
        }
      glow[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(std::min(best, 255));
    }
  return glow;
}

const std::vector<int>& TRadiateTextPainter::Kernel(int radius, std::uint8_t spread, std::uint8_t opacity) {
  if (radius != m_radius || spread != m_spread || opacity != m_opacity || m_kernel.empty()) {
    m_kernel = MakeKernel(radius, spread, opacity);
    m_radius = radius;
    m_spread = spread;
    m_opacity = opacity;
  }
  return m_kernel;
}

void TRadiateTextPainter::Draw(GsBitmap& target, const GsRect& box, const std::wstring& text, const GsFont& font,
                               const TextLayout& layout, const GlowParams& glow, TextRasterizer& rasterizer) {
  const int r = glow.radius;
  if (r <= 0 || box.Width() <= 0 || box.Height() <= 0 || text.empty()) return;
  const int w = box.Width(), h = box.Height();
  const GsBitmap mask = rasterizer.RenderMask(text, font, w, h, GsRect{r, r, w - r, h - r}, layout);
  const std::vector<std::uint8_t> values = Dilate(mask, Kernel(r, glow.spread, glow.opacity), r);
  GsBitmap layer(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      layer.At(x, y) = MakePixel(values[static_cast<std::size_t>(y) * w + x], glow.color.r, glow.color.g, glow.color.b);
  Premultiply(layer);
  AlphaBlend(target, box.left, box.top, layer, kOpaque);
}

}  // namespace gs
