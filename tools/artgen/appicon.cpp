#include "tools/artgen/appicon.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "tools/artgen/artcanvas.h"

namespace artgen {

namespace {

constexpr double kUnits = 256;

enum class Kind { RoundRect, Circle, Ring, Polygon };

struct IconShape {
  Kind kind;
  std::vector<double> geometry;  // rect: l t r b radius; circle: cx cy r; ring: cx cy inner outer; polygon: x y ...
  unsigned top, bottom;          // colours (0xRRGGBB); equal for a flat fill
  double alpha;
  double gradientTop = 0, gradientBottom = 0;  // the rows a gradient spans
};

std::vector<double> TiltedRect(double left, double top, double right, double bottom, double cx, double cy) {
  constexpr double kTilt = -35 * std::numbers::pi / 180;
  std::vector<double> out;
  for (const auto& [x, y] : {std::pair{left, top}, {right, top}, {right, bottom}, {left, bottom}}) {
    const double dx = x - cx, dy = y - cy;
    out.push_back(cx + dx * std::cos(kTilt) - dy * std::sin(kTilt));
    out.push_back(cy + dx * std::sin(kTilt) + dy * std::cos(kTilt));
  }
  return out;
}

// The drawing, back to front.
std::vector<IconShape> Shapes() {
  constexpr double cx = 112, cy = 112, r = 76;  // the disc
  constexpr double sx = 182, sy = 178;          // the stick's joint
  std::vector<IconShape> shapes = {
      {Kind::RoundRect, {8, 8, 248, 248, 44}, 0x0E2238, 0x1A4D6B, 1, 8, 248},
      {Kind::Ring, {cx, cy, 90, 95}, 0x71E3FF, 0x71E3FF, 0.6},
      {Kind::Circle, {cx + 4, cy + 6, r}, 0x000000, 0x000000, 0.35},
      {Kind::Circle, {cx, cy, r}, 0xDCE7EF, 0x93AABB, 1, cy - r, cy + r},
  };
  for (double ring : {0.82, 0.64, 0.46})
    shapes.push_back({Kind::Ring, {cx, cy, r * ring - 1.5, r * ring}, 0x5E7A8F, 0x5E7A8F, 0.35});
  shapes.push_back({Kind::Circle, {cx, cy, r * 0.24}, 0xB9C9D5, 0xB9C9D5, 1});
  shapes.push_back({Kind::Circle, {cx, cy, r * 0.1}, 0x0E2238, 0x0E2238, 1});
  // The stick: connector, its two holes, body, light edge, accent stripe.
  shapes.push_back({Kind::Polygon, TiltedRect(sx - 14, sy - 32, sx + 14, sy + 2, sx, sy), 0xDCE7EF, 0xDCE7EF, 1});
  shapes.push_back({Kind::Polygon, TiltedRect(sx - 8, sy - 23, sx - 1, sy - 16, sx, sy), 0x0E2238, 0x0E2238, 1});
  shapes.push_back({Kind::Polygon, TiltedRect(sx + 1, sy - 23, sx + 8, sy - 16, sx, sy), 0x0E2238, 0x0E2238, 1});
  shapes.push_back({Kind::Polygon, TiltedRect(sx - 20, sy, sx + 20, sy + 66, sx, sy), 0x2C7FA8, 0x164A6A, 1,
                    sy - 20, sy + 66});
  shapes.push_back({Kind::Polygon, TiltedRect(sx - 20, sy, sx - 9, sy + 66, sx, sy), 0xFFFFFF, 0xFFFFFF, 0.18});
  shapes.push_back({Kind::Polygon, TiltedRect(sx - 9, sy + 46, sx + 9, sy + 52, sx, sy), 0x71E3FF, 0x71E3FF, 1});
  return shapes;
}

std::string Hex(unsigned rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06X", rgb & 0xFFFFFFu);
  return text;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

}  // namespace

gs::GsBitmap AppIcon(int side) {
  const double s = side / kUnits;
  ArtCanvas canvas(side, side);
  canvas.Fill(Everywhere(), Rgba{0, 0, 0, 0});
  for (const IconShape& shape : Shapes()) {
    std::vector<double> g = shape.geometry;
    for (double& v : g) v *= s;
    ArtCanvas::Shape area;
    switch (shape.kind) {
      case Kind::RoundRect: area = RoundRect(g[0], g[1], g[2], g[3], g[4]); break;
      case Kind::Circle: area = Circle(g[0], g[1], g[2]); break;
      case Kind::Ring: area = Ring(g[0], g[1], g[2], g[3], 0, 360); break;
      case Kind::Polygon: {
        std::vector<Point> points;
        for (size_t i = 0; i + 1 < g.size(); i += 2) points.push_back({g[i], g[i + 1]});
        area = Polygon(points);
        break;
      }
    }
    if (shape.top == shape.bottom)
      canvas.Fill(area, FromHex(shape.top, shape.alpha));
    else
      canvas.Fill(area, VerticalGradient(shape.gradientTop * s, shape.gradientBottom * s, FromHex(shape.top, shape.alpha),
                                         FromHex(shape.bottom, shape.alpha)));
  }
  return canvas.Bitmap();
}

std::string AppIconSvg() {
  std::string defs, body;
  int gradients = 0;
  for (const IconShape& shape : Shapes()) {
    const auto& g = shape.geometry;
    std::string fill = Hex(shape.top);
    if (shape.top != shape.bottom) {
      const std::string id = "g" + std::to_string(++gradients);
      defs += "<linearGradient id=\"" + id + "\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"" +
              Number(shape.gradientTop) + "\" x2=\"0\" y2=\"" + Number(shape.gradientBottom) + "\"><stop offset=\"0\" stop-color=\"" +
              Hex(shape.top) + "\"/><stop offset=\"1\" stop-color=\"" + Hex(shape.bottom) + "\"/></linearGradient>";
      fill = "url(#" + id + ")";
    }
    const std::string paint = "fill=\"" + fill + "\" fill-opacity=\"" + Number(shape.alpha) + "\"";
    switch (shape.kind) {
      case Kind::RoundRect:
        body += "<rect x=\"" + Number(g[0]) + "\" y=\"" + Number(g[1]) + "\" width=\"" + Number(g[2] - g[0]) +
                "\" height=\"" + Number(g[3] - g[1]) + "\" rx=\"" + Number(g[4]) + "\" " + paint + "/>";
        break;
      case Kind::Circle:
        body += "<circle cx=\"" + Number(g[0]) + "\" cy=\"" + Number(g[1]) + "\" r=\"" + Number(g[2]) + "\" " + paint + "/>";
        break;
      case Kind::Ring:  // a circle's outline as wide as the ring
        body += "<circle cx=\"" + Number(g[0]) + "\" cy=\"" + Number(g[1]) + "\" r=\"" + Number((g[2] + g[3]) / 2) +
                "\" fill=\"none\" stroke=\"" + fill + "\" stroke-opacity=\"" + Number(shape.alpha) + "\" stroke-width=\"" +
                Number(g[3] - g[2]) + "\"/>";
        break;
      case Kind::Polygon: {
        std::string points;
        for (size_t i = 0; i + 1 < g.size(); i += 2) points += (i ? " " : "") + Number(g[i]) + "," + Number(g[i + 1]);
        body += "<polygon points=\"" + points + "\" " + paint + "/>";
        break;
      }
    }
    body += "\n";
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
         "viewBox=\"0 0 256 256\">\n<defs>" + defs + "</defs>\n" + body + "</svg>\n";
}

}  // namespace artgen
