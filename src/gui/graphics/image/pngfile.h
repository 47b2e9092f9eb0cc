#pragma once
// PNG pictures through libpng. Files are named by host paths.
// Every PNG colour type is read as a 32-bit bitmap with straight alpha
// (opaque where the file has none); 16-bit channels are reduced to 8.
// Written files are 8-bit RGBA. Failures (missing file, damaged or
// truncated data) return false and leave the output untouched.

#include <string>

#include "src/gui/graphics/image/gsbitmap.h"

namespace gs {

bool LoadPng(const std::string& hostPath, GsBitmap& bitmap);
bool SavePng(const std::string& hostPath, const GsBitmap& bitmap);

}  // namespace gs
