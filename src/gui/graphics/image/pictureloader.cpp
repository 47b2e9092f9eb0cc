#include "src/gui/graphics/image/pictureloader.h"

#include <QImageReader>
#include <QString>

#include "platform/paths.h"
#include "platform/text.h"
#include "src/gui/graphics/image/alphablend.h"
#include "src/gui/graphics/image/pngfile.h"
#include "src/gui/graphics/image/qtbitmap.h"

namespace gs {

PictureKind PictureKindOf(const std::wstring& path) {
  const std::size_t dot = path.find_last_of(L'.');
  const std::size_t sep = path.find_last_of(L"\\/");
  if (dot == std::wstring::npos || (sep != std::wstring::npos && dot < sep)) return PictureKind::Unknown;
  const std::wstring ext = path.substr(dot + 1);
  if (platform::EqualsNoCase(ext, std::wstring_view(L"png"))) return PictureKind::Png;
  if (platform::EqualsNoCase(ext, std::wstring_view(L"bmp"))) return PictureKind::Bmp;
  if (platform::EqualsNoCase(ext, std::wstring_view(L"ico"))) return PictureKind::Ico;
  if (platform::EqualsNoCase(ext, std::wstring_view(L"emf")) || platform::EqualsNoCase(ext, std::wstring_view(L"wmf")))
    return PictureKind::Metafile;
  return PictureKind::Unknown;
}

namespace {

bool LoadBitmap(const std::wstring& systemPath, PictureKind kind, GsBitmap& bitmap) {
  std::string host;
  if (!platform::ResolvePath(systemPath, host)) return false;
  switch (kind) {
    case PictureKind::Png: return LoadPng(host, bitmap);
    case PictureKind::Bmp:
    case PictureKind::Ico: {
      QImageReader reader(QString::fromStdString(host), kind == PictureKind::Bmp ? "bmp" : "ico");
      QImage image;
      if (!reader.read(&image) || image.isNull()) return false;
      bitmap = FromQImage(image);
      return true;
    }
    default: return false;  // metafiles and unknown types
  }
}

}  // namespace

bool LoadPicture(const std::wstring& systemPath, QImage& picture) {
  GsBitmap bitmap;
  if (!LoadBitmap(systemPath, PictureKindOf(systemPath), bitmap)) return false;
  Premultiply(bitmap);
  picture = ToQImage(bitmap);
  return true;
}

bool LoadSkinBitmap(const std::wstring& systemPath, GsBitmap& bitmap) {
  GsBitmap loaded;
  if (!LoadBitmap(systemPath, PictureKindOf(systemPath), loaded)) return false;
  Premultiply(loaded);
  bitmap = std::move(loaded);
  return true;
}

}  // namespace gs
