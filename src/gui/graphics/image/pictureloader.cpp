#include "src/gui/graphics/image/pictureloader.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QString>

#include "platform/fs/paths.h"
#include "platform/fs/readfile.h"
#include "platform/text.h"
#include "src/gui/graphics/image/alphablend.h"
#include "src/gui/graphics/image/picturelimits.h"
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

bool DecodePicture(std::string_view bytes, PictureKind kind, GsBitmap& bitmap) {
  switch (kind) {
    case PictureKind::Png: return DecodePng(bytes, bitmap);
    case PictureKind::Bmp:
    case PictureKind::Ico: {
      // Qt's readers size their picture from the header before they read a
      // row: the header is checked against the limits and the file first.
      if (kind == PictureKind::Bmp ? !PlausibleBmp(bytes) : !PlausibleIco(bytes)) return false;
      QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
      QBuffer buffer(&data);
      if (!buffer.open(QIODevice::ReadOnly)) return false;
      QImageReader reader(&buffer, kind == PictureKind::Bmp ? "bmp" : "ico");
      const QSize declared = reader.size();
      if (declared.isValid() && !FitsPictureLimits(declared.width(), declared.height())) return false;
      QImage image;
      if (!reader.read(&image) || image.isNull()) return false;
      if (!FitsPictureLimits(image.width(), image.height())) return false;
      bitmap = FromQImage(image);
      return true;
    }
    default: return false;  // metafiles and unknown types
  }
}

namespace {

bool LoadBitmap(const std::wstring& systemPath, PictureKind kind, GsBitmap& bitmap) {
  if (kind != PictureKind::Png && kind != PictureKind::Bmp && kind != PictureKind::Ico) return false;
  std::string bytes;
  if (platform::ReadSystemFile(systemPath, bytes, kMaxPictureFileBytes) != platform::ERROR_SUCCESS) return false;
  return DecodePicture(bytes, kind, bitmap);
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
