// Pictures named by config.xml and the skin: PNG through libpng, BMP and
// ICO through Qt's readers behind our header checks. Every input is tried
// as each of the three kinds; whatever loads stays within the limits.
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <cstdlib>

#include "kxfuzz.h"
#include "src/gui/graphics/image/picturelimits.h"
#include "src/gui/graphics/image/pictureloader.h"

namespace {

void EnsureApp() {
  static int argc = 1;
  static char name[] = "fuzz_picture";
  static char* argv[] = {name, nullptr};
  if (!QGuiApplication::instance()) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication* app = new QGuiApplication(argc, argv);  // lives as long as the process
    (void)app;
  }
}

std::string Saved(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

}  // namespace

KX_FUZZ_TARGET {
  EnsureApp();
  const std::string bytes = kxfuzz::Bytes(data, size);
  for (gs::PictureKind kind : {gs::PictureKind::Png, gs::PictureKind::Bmp, gs::PictureKind::Ico}) {
    gs::GsBitmap bitmap;
    if (gs::DecodePicture(bytes, kind, bitmap))
      KX_FUZZ_CHECK(gs::FitsPictureLimits(bitmap.Width(), bitmap.Height()));
  }
  return 0;
}

KX_FUZZ_SEEDS {
  EnsureApp();
  QImage argb(24, 16, QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y)
    for (int x = 0; x < argb.width(); ++x) argb.setPixel(x, y, qRgba(x * 10, y * 15, 128, 40 + x * 8));
  QImage indexed = argb.convertToFormat(QImage::Format_Indexed8);
  seeds.push_back(Saved(argb, "PNG"));
  seeds.push_back(Saved(indexed, "PNG"));
  seeds.push_back(Saved(argb.convertToFormat(QImage::Format_RGB32), "BMP"));
  seeds.push_back(Saved(indexed, "BMP"));
  seeds.push_back(Saved(argb, "ICO"));
}
