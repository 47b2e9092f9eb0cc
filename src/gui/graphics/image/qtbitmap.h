#pragma once
// Conversions between GsBitmap and QImage. The pixel layouts match (32-bit
// 0xAARRGGBB), so these are plain copies.

#include <QImage>

#include "src/gui/graphics/image/gsbitmap.h"

namespace gs {

// A 32-bit bitmap becomes ARGB32_Premultiplied (the kit keeps rendered
// pictures premultiplied); a 24-bit one RGB32.
QImage ToQImage(const GsBitmap& bitmap);
// Straight-alpha ARGB32 pixels, converted from any QImage format.
GsBitmap FromQImage(const QImage& image);

}  // namespace gs
