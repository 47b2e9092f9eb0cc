#include "tools/artgen/artcanvas.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace artgen {

namespace {
constexpr int kSamples = 4;
std::uint8_t ToByte(double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }
double FromByte(std::uint8_t v) { return v / 255.0; }
}  // namespace

Rgba Mix(const Rgba& from, const Rgba& to, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t,
          from.a + (to.a - from.a) * t};
}

Rgba FromHex(unsigned rgb, double alpha) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha};
}

ArtCanvas::ArtCanvas(int width, int height) : m_bitmap(width, height) {}

void ArtCanvas::Over(int x, int y, const Rgba& c, double coverage) {
  gs::Pixel& p = m_bitmap.At(x, y);
  const double sa = c.a * coverage;
  const double da = FromByte(gs::AlphaOf(p));
  const double oa = sa + da * (1.0 - sa);
  if (oa <= 0.0) return;
  auto channel = [&](double s, std::uint8_t d) { return (s * sa + FromByte(d) * da * (1.0 - sa)) / oa; };
  p = gs::MakePixel(ToByte(oa), ToByte(channel(c.r, gs::RedOf(p))), ToByte(channel(c.g, gs::GreenOf(p))),
                    ToByte(channel(c.b, gs::BlueOf(p))));
}

void ArtCanvas::Fill(const Shape& shape, const Paint& paint) {
  for (int y = 0; y < m_bitmap.Height(); ++y)
    for (int x = 0; x < m_bitmap.Width(); ++x) {
      int hits = 0;
      for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx)
          if (shape(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples)) ++hits;
      if (hits) Over(x, y, paint(x + 0.5, y + 0.5), double(hits) / (kSamples * kSamples));
    }
}

void ArtCanvas::Fill(const Shape& shape, const Rgba& colour) {
  Fill(shape, [colour](double, double) { return colour; });
}

ArtCanvas::Shape Everywhere() {
  return [](double, double) { return true; };
}

ArtCanvas::Shape RoundRect(double left, double top, double right, double bottom, double radius) {
  return [=](double x, double y) {
    if (x < left || x > right || y < top || y > bottom) return false;
    const double cx = std::clamp(x, left + radius, right - radius);
    const double cy = std::clamp(y, top + radius, bottom - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
  };
}

ArtCanvas::Shape Circle(double cx, double cy, double radius) { return RoundRect(cx - radius, cy - radius, cx + radius, cy + radius, radius); }

ArtCanvas::Shape Ring(double cx, double cy, double inner, double outer, double fromDeg, double toDeg) {
  return [=](double x, double y) {
    const double d = std::hypot(x - cx, y - cy);
    if (d < inner || d > outer) return false;
    double angle = std::atan2(cy - y, x - cx) * 180.0 / std::numbers::pi;  // counter-clockwise, 0 = right
    if (angle < 0) angle += 360.0;
    return fromDeg <= toDeg ? angle >= fromDeg && angle <= toDeg : angle >= fromDeg || angle <= toDeg;
  };
}

ArtCanvas::Shape Polygon(std::vector<Point> points) {
  return [points = std::move(points)](double x, double y) {
    bool inside = false;
    for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
      const Point& a = points[i];
      const Point& b = points[j];
      if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
  };
}

ArtCanvas::Shape Minus(ArtCanvas::Shape a, ArtCanvas::Shape b) {
  return [a, b](double x, double y) { return a(x, y) && !b(x, y); };
}

ArtCanvas::Shape And(ArtCanvas::Shape a, ArtCanvas::Shape b) {
  return [a, b](double x, double y) { return a(x, y) && b(x, y); };
}

ArtCanvas::Paint VerticalGradient(double top, double bottom, const Rgba& from, const Rgba& to) {
  return [=](double, double y) { return Mix(from, to, (y - top) / (bottom - top)); };
}

}  // namespace artgen
