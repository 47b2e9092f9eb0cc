#pragma once
// The pixel arithmetic of the skinned controls: premultiplication, the
// platform-style alpha blend and the compositing rules of a widget picture.
// All arithmetic is integer; every product is divided by 255 with the
// fraction dropped, results are capped at 255.

#include <cstdint>

#include "src/gui/graphics/image/gsbitmap.h"

namespace gs {

// How a widget's picture carries its alpha.
enum GsAlphaFormat {
  gafIgnored,       // drawn as an opaque copy
  gafDefined,       // straight alpha
  gafPremultiplied  // premultiplied alpha
};

inline constexpr std::uint8_t kOpaque = 255;

// Each colour channel of a 32-bit bitmap becomes channel * alpha / 255.
void Premultiply(GsBitmap& bitmap);

// The platform alpha blend of src (premultiplied when 32-bit) onto dst with
// src's top-left at (x, y), clipped to dst. With a 32-bit source, per
// pixel: src channels and alpha are first scaled by constantAlpha / 255,
// then d = s' + d * (255 - a') / 255 for colour and alpha alike. A 24-bit
// source has no per-pixel alpha: d = s * c / 255 + d * (255 - c) / 255.
void AlphaBlend(GsBitmap& dst, int x, int y, const GsBitmap& src, std::uint8_t constantAlpha);

// Copies src onto dst opaquely (alpha 255 in a 32-bit target).
void CopyOpaque(GsBitmap& dst, int x, int y, const GsBitmap& src);

// Puts a widget's picture onto a target the way the widget's AlphaFormat
// and AlphaValue say.
// 32-bit target: a picture that is not premultiplied is premultiplied
// first (on a copy); then gafIgnored copies opaquely, the others blend
// with constant alpha alphaValue (and per-pixel alpha for 32-bit pictures).
// 24-bit target: gafPremultiplied blends as above; otherwise per pixel
// a = (alphaValue / 255) * (alpha / 255) and each channel becomes
// a * source + (1 - a) * target, fraction dropped. That path needs a
// 32-bit picture; a 24-bit one is a programming error and is drawn as an
// opaque copy.
void Composite(GsBitmap& target, int x, int y, const GsBitmap& picture, GsAlphaFormat format,
               std::uint8_t alphaValue);

}  // namespace gs
