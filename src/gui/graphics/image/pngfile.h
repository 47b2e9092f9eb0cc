#pragma once
// PNG pictures through libpng. Files are named by host paths.
// Every PNG colour type is read as a 32-bit bitmap with straight alpha
// (opaque where the file has none); 16-bit channels are reduced to 8.
// Written files are 8-bit RGBA. Failures (missing file, damaged or
// truncated data, a picture beyond picturelimits.h) return false and leave
// the output untouched; a picture costs at most a small multiple of its
// decoded pixels, and a truncated one no more than the rows it holds.

#include <string>
#include <string_view>

#include "src/gui/graphics/image/gsbitmap.h"

namespace gs {

bool LoadPng(const std::string& hostPath, GsBitmap& bitmap);
// The same for a file's bytes already read.
bool DecodePng(std::string_view bytes, GsBitmap& bitmap);
bool SavePng(const std::string& hostPath, const GsBitmap& bitmap);

}  // namespace gs
