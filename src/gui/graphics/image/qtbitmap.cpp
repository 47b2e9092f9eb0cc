#include "src/gui/graphics/image/qtbitmap.h"

namespace gs {

QImage ToQImage(const GsBitmap& bitmap) {
  const QImage::Format format = bitmap.Is32Bit() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
  QImage image(bitmap.Width(), bitmap.Height(), format);
  for (int y = 0; y < bitmap.Height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x)
      row[x] = bitmap.Is32Bit() ? bitmap.At(x, y) : (bitmap.At(x, y) | 0xFF000000u);
  }
  return image;
}

GsBitmap FromQImage(const QImage& image) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  GsBitmap bitmap(argb.width(), argb.height());
  for (int y = 0; y < argb.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x) bitmap.At(x, y) = row[x];
  }
  return bitmap;
}

}  // namespace gs
