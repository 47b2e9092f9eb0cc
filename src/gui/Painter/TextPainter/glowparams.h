#pragma once
// The glow parameters of a text effect.

#include <cstdint>

#include "src/gui/graphics/image/gsbitmap.h"

namespace gs {

struct GlowParams {
  std::uint8_t opacity = 255;
  int radius = 0;  // pixels
  std::uint8_t spread = 0;
  GsColor color{255, 255, 191};
  int offsetX = 0;
  int offsetY = 0;
  friend bool operator==(const GlowParams&, const GlowParams&) = default;
};

}  // namespace gs
