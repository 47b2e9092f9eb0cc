#pragma once
// The font of a skinned control or text effect: face name, size in points,
// style and colour. Sizes convert to pixels at 96 dots per inch.

#include <string>

#include "src/gui/graphics/image/gsbitmap.h"

namespace gs {

enum GsFontStyle : unsigned {
  fsNone = 0,
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
};

inline constexpr int kScreenDpi = 96;
inline constexpr int kPointsPerInch = 72;

struct GsFont {
  std::wstring name = L"Tahoma";
  int size = 8;  // points
  unsigned style = fsNone;
  GsColor color{0, 0, 0};

  // The character height in pixels, rounded as the platform rounds it.
  int PixelHeight() const { return (size * kScreenDpi + kPointsPerInch / 2) / kPointsPerInch; }
  friend bool operator==(const GsFont&, const GsFont&) = default;
};

}  // namespace gs
