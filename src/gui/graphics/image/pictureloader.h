#pragma once
// Pictures named by system paths (config.xml's logo, the skin pictures).
// The type follows the extension, case ignored: PNG through libpng, BMP
// and ICO through Qt's image reader; EMF/WMF metafiles cannot be drawn on
// this platform (see README) and any other extension is refused. A missing,
// undecodable or oversized file (picturelimits.h) returns false and leaves
// the output untouched.
// User-interface thread (Qt image classes).

#include <QImage>

#include <string>
#include <string_view>

#include "src/gui/graphics/image/gsbitmap.h"

namespace gs {

enum class PictureKind { Png, Bmp, Ico, Metafile, Unknown };

PictureKind PictureKindOf(const std::wstring& path);

bool LoadPicture(const std::wstring& systemPath, QImage& picture);

// Decodes a picture file's bytes already read, as the kind says (straight
// alpha, not premultiplied).
bool DecodePicture(std::string_view bytes, PictureKind kind, GsBitmap& bitmap);

// A skin picture as a premultiplied 32-bit bitmap, ready for the buttons.
bool LoadSkinBitmap(const std::wstring& systemPath, GsBitmap& bitmap);

}  // namespace gs
