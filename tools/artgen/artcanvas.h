#pragma once
// A small anti-aliased painter for the generated skin artwork: shapes are
// sampled 4 x 4 per pixel and laid "over" the picture in straight alpha.

#include <functional>
#include <vector>

#include "src/gui/graphics/image/gsbitmap.h"

namespace artgen {

struct Rgba {
  double r = 0, g = 0, b = 0, a = 1;  // 0..1
};

Rgba Mix(const Rgba& from, const Rgba& to, double t);
Rgba FromHex(unsigned rgb, double alpha = 1.0);

struct Point {
  double x = 0, y = 0;
};

class ArtCanvas {
 public:
  ArtCanvas(int width, int height);

  // Coverage test at a sample point, and the colour there.
  using Shape = std::function<bool(double x, double y)>;
  using Paint = std::function<Rgba(double x, double y)>;

  void Fill(const Shape& shape, const Paint& paint);
  void Fill(const Shape& shape, const Rgba& colour);

  const gs::GsBitmap& Bitmap() const { return m_bitmap; }

 private:
  void Over(int x, int y, const Rgba& colour, double coverage);

  gs::GsBitmap m_bitmap;
};

// Shapes.
ArtCanvas::Shape Everywhere();
ArtCanvas::Shape RoundRect(double left, double top, double right, double bottom, double radius);
ArtCanvas::Shape Ring(double cx, double cy, double inner, double outer, double fromDeg, double toDeg);
ArtCanvas::Shape Circle(double cx, double cy, double radius);
ArtCanvas::Shape Polygon(std::vector<Point> points);
ArtCanvas::Shape Minus(ArtCanvas::Shape a, ArtCanvas::Shape b);
ArtCanvas::Shape And(ArtCanvas::Shape a, ArtCanvas::Shape b);

// A vertical gradient between two rows.
ArtCanvas::Paint VerticalGradient(double top, double bottom, const Rgba& from, const Rgba& to);

}  // namespace artgen
