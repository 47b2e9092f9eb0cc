#pragma once
// The application icon of the desktop menus: a square picture in the house
// palette (the banner's disc and stick on a rounded night-blue tile). One
// drawing, kept as a list of shapes on a 256-unit square, gives both the
// PNG sizes and the scalable SVG, so they cannot differ.

#include <string>

#include "src/gui/graphics/image/gsbitmap.h"

namespace artgen {

inline constexpr int kIconSizes[] = {48, 128, 256};

// The icon as a side x side picture (32-bit, straight alpha).
gs::GsBitmap AppIcon(int side);
// The same icon as an SVG document (a 256 x 256 view box).
std::string AppIconSvg();

}  // namespace artgen
