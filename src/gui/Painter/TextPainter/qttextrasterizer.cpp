#include "src/gui/Painter/TextPainter/qttextrasterizer.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>

#include <mutex>

namespace gs {

namespace {

int QtFlags(const TextLayout& layout) {
  int flags = 0;
  switch (layout.horizontal) {
    case HorzAlign::Left: flags |= Qt::AlignLeft; break;
    case HorzAlign::Center: flags |= Qt::AlignHCenter; break;
    case HorzAlign::Right: flags |= Qt::AlignRight; break;
  }
  if (!layout.wordWrap) return flags | Qt::AlignVCenter | Qt::TextSingleLine;
  switch (layout.vertical) {
    case VertAlign::Top: flags |= Qt::AlignTop; break;
    case VertAlign::Center: flags |= Qt::AlignVCenter; break;
    case VertAlign::Bottom: flags |= Qt::AlignBottom; break;
  }
  return flags | Qt::TextWordWrap;
}

QString ToQString(const std::wstring& text) { return QString::fromStdWString(text); }

}  // namespace

void InstallFontSubstitutes() {
  static std::once_flag once;
  std::call_once(once, [] {
    QFont::insertSubstitutions("Microsoft Sans Serif", {"Liberation Sans", "Arimo", "DejaVu Sans"});
    QFont::insertSubstitutions("Tahoma", {"Liberation Sans", "Arimo", "DejaVu Sans"});
    QFont::insertSubstitutions("MS UI Gothic",
                               {"IPAPGothic", "Noto Sans CJK JP", "VL PGothic", "Takao PGothic", "Liberation Sans"});
  });
}

QFont ToQFont(const GsFont& font) {
  QFont q(ToQString(font.name));
  q.setPixelSize(font.PixelHeight());
  q.setBold(font.style & fsBold);
  q.setItalic(font.style & fsItalic);
  q.setUnderline(font.style & fsUnderline);
  // Coverage masks need grey-scale anti-aliasing, never sub-pixel colour.
  q.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
  q.setHintingPreference(QFont::PreferFullHinting);
  return q;
}

QtTextRasterizer::QtTextRasterizer() { InstallFontSubstitutes(); }

QtTextRasterizer& QtTextRasterizer::Shared() {
  static QtTextRasterizer shared;
  return shared;
}

GsBitmap QtTextRasterizer::RenderMask(const std::wstring& text, const GsFont& font, int width, int height,
                                      const GsRect& textRect, const TextLayout& layout) {
  GsBitmap mask(width, height);
  mask.Fill(0xFF000000u);
  if (mask.Empty() || textRect.Width() <= 0 || textRect.Height() <= 0) return mask;
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::black);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(ToQFont(font));
    painter.setPen(Qt::white);
    const QRect rect(textRect.left, textRect.top, textRect.Width(), textRect.Height());
    painter.setClipRect(rect);
    painter.drawText(rect, QtFlags(layout), ToQString(text));
  }
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < width; ++x) mask.At(x, y) = 0xFF000000u | (row[x] & 0x00FFFFFFu);
  }
  return mask;
}

int QtTextRasterizer::WrappedHeight(const std::wstring& text, const GsFont& font, int width) {
  const QFontMetrics metrics(ToQFont(font));
  return metrics.boundingRect(QRect(0, 0, width, 0), Qt::TextWordWrap, ToQString(text)).height();
}

}  // namespace gs
