#include "tools/artgen/artwork.h"

#include <cmath>
#include <numbers>

#include "tools/artgen/artcanvas.h"

namespace artgen {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// The house palette: night blue to sea blue, with a light cyan accent.
const Rgba kNight = FromHex(0x0E2238);
const Rgba kSea = FromHex(0x1A4D6B);
const Rgba kAccent = FromHex(0x71E3FF);
const Rgba kSilver = FromHex(0xDCE7EF);
const Rgba kSteel = FromHex(0x93AABB);

Point Rotated(Point p, Point centre, double degrees) {
  const double c = std::cos(degrees * kDegree), s = std::sin(degrees * kDegree);
  const double dx = p.x - centre.x, dy = p.y - centre.y;
  return {centre.x + dx * c - dy * s, centre.y + dx * s + dy * c};
}

std::vector<Point> RotatedRect(double left, double top, double right, double bottom, Point centre, double degrees) {
  return {Rotated({left, top}, centre, degrees), Rotated({right, top}, centre, degrees),
          Rotated({right, bottom}, centre, degrees), Rotated({left, bottom}, centre, degrees)};
}

void DrawDisc(ArtCanvas& canvas, double cx, double cy, double r) {
  canvas.Fill(Circle(cx + 2, cy + 3, r), FromHex(0x000000, 0.35));  // shadow
  canvas.Fill(Circle(cx, cy, r), VerticalGradient(cy - r, cy + r, kSilver, kSteel));
  for (double ring : {0.82, 0.64, 0.46})
    canvas.Fill(Ring(cx, cy, r * ring - 0.6, r * ring, 0, 360), FromHex(0x5E7A8F, 0.35));
  canvas.Fill(Ring(cx, cy, r * 0.3, r * 0.72, 100, 150), FromHex(0xFFFFFF, 0.35));  // sheen
  canvas.Fill(Circle(cx, cy, r * 0.24), FromHex(0xB9C9D5));
  canvas.Fill(Circle(cx, cy, r * 0.1), kNight);
}

void DrawStick(ArtCanvas& canvas, Point centre) {
  const double tilt = -35;
  std::vector<Point> shadow = RotatedRect(centre.x - 9, centre.y, centre.x + 9, centre.y + 32, centre, tilt);
  for (Point& p : shadow) p = {p.x + 2, p.y + 3};
  canvas.Fill(Polygon(shadow), FromHex(0x000000, 0.3));
  canvas.Fill(Polygon(RotatedRect(centre.x - 6, centre.y - 14, centre.x + 6, centre.y + 1, centre, tilt)), kSilver);
  canvas.Fill(Polygon(RotatedRect(centre.x - 3.5, centre.y - 10, centre.x - 0.5, centre.y - 7, centre, tilt)), kNight);
  canvas.Fill(Polygon(RotatedRect(centre.x + 0.5, centre.y - 10, centre.x + 3.5, centre.y - 7, centre, tilt)), kNight);
  canvas.Fill(Polygon(RotatedRect(centre.x - 9, centre.y, centre.x + 9, centre.y + 32, centre, tilt)),
              VerticalGradient(centre.y - 10, centre.y + 32, FromHex(0x2C7FA8), FromHex(0x164A6A)));
  canvas.Fill(Polygon(RotatedRect(centre.x - 9, centre.y, centre.x - 4, centre.y + 32, centre, tilt)),
              FromHex(0xFFFFFF, 0.18));
  canvas.Fill(Polygon(RotatedRect(centre.x - 4, centre.y + 22, centre.x + 4, centre.y + 25, centre, tilt)), kAccent);
}

}  // namespace

gs::GsBitmap Banner() {
  ArtCanvas canvas(kBannerWidth, kBannerHeight);
  canvas.Fill(Everywhere(), VerticalGradient(0, kBannerHeight, kNight, kSea));
  // Two quiet light bands across the picture.
  canvas.Fill(Polygon({{0, 190}, {173, 100}, {173, 128}, {0, 226}}), FromHex(0xFFFFFF, 0.05));
  canvas.Fill(Polygon({{0, 236}, {173, 150}, {173, 160}, {0, 250}}), FromHex(0xFFFFFF, 0.04));
  // An orbit in the accent colour behind the disc.
  canvas.Fill(Ring(86, 100, 54, 56, 200, 340), Rgba{kAccent.r, kAccent.g, kAccent.b, 0.7});
  canvas.Fill(Ring(86, 100, 54, 56, 20, 160), Rgba{kAccent.r, kAccent.g, kAccent.b, 0.25});
  DrawDisc(canvas, 86, 100, 44);
  DrawStick(canvas, {120, 132});
  // Footer rule with three dots: where the wizard's steps sit beside it.
  canvas.Fill(RoundRect(28, 262, 145, 263.2, 0.6), Rgba{kAccent.r, kAccent.g, kAccent.b, 0.55});
  for (int i = 0; i < 3; ++i) canvas.Fill(Circle(74 + i * 12, 276, 2.2), FromHex(0xFFFFFF, i == 0 ? 0.8 : 0.3));
  return canvas.Bitmap();
}

gs::GsBitmap Logo() {
  gs::GsBitmap banner = Banner();
  ArtCanvas canvas(kBannerWidth, kBannerHeight);
  canvas.Fill(Everywhere(), Rgba{0, 0, 0, 0});
  // A "K" monogram in a rounded badge, above the footer rule.
  const double cx = 86, cy = 214;
  canvas.Fill(RoundRect(cx - 17, cy - 17, cx + 17, cy + 17, 7), FromHex(0xFFFFFF, 0.10));
  canvas.Fill(RoundRect(cx - 9, cy - 11, cx - 4.5, cy + 11, 1), kSilver);
  canvas.Fill(Polygon({{cx - 4.5, cy + 1}, {cx + 6, cy - 11}, {cx + 11.5, cy - 11}, {cx - 1, cy + 3}}), kAccent);
  canvas.Fill(Polygon({{cx - 2, cy - 1}, {cx + 2, cy - 3}, {cx + 11.5, cy + 11}, {cx + 6, cy + 11}}), kSilver);
  // Laid over the banner.
  for (int y = 0; y < kBannerHeight; ++y)
    for (int x = 0; x < kBannerWidth; ++x) {
      const gs::Pixel top = canvas.Bitmap().At(x, y);
      const unsigned a = gs::AlphaOf(top);
      if (a == 0) continue;
      const gs::Pixel under = banner.At(x, y);
      auto mix = [a](unsigned s, unsigned d) { return static_cast<std::uint8_t>((s * a + d * (255 - a)) / 255); };
      banner.At(x, y) = gs::MakePixel(255, mix(gs::RedOf(top), gs::RedOf(under)), mix(gs::GreenOf(top), gs::GreenOf(under)),
                                      mix(gs::BlueOf(top), gs::BlueOf(under)));
    }
  return banner;
}

gs::GsBitmap ButtonBackdrop() {
  ArtCanvas canvas(kBackdropWidth, kBackdropHeight);
  canvas.Fill(Everywhere(), VerticalGradient(0, kBackdropHeight, FromHex(0x17324D), FromHex(0x0F2236)));
  canvas.Fill(RoundRect(0, 0, kBackdropWidth, 1, 0), FromHex(0xFFFFFF, 0.14));
  canvas.Fill(RoundRect(0, kBackdropHeight - 1, kBackdropWidth, kBackdropHeight, 0), FromHex(0x000000, 0.3));
  return canvas.Bitmap();
}

gs::GsBitmap ButtonPicture(ButtonLook look) {
  struct Look {
    Rgba top, bottom, border;
    double gloss;
  };
  Look l{};
  switch (look) {
    case ButtonLook::Raised: l = {FromHex(0x3A6F95), FromHex(0x1E4867), FromHex(0x0B2236), 0.20}; break;
    case ButtonLook::Hovered: l = {FromHex(0x4A88B3), FromHex(0x275C82), FromHex(0x71E3FF, 0.75), 0.26}; break;
    case ButtonLook::Sunken: l = {FromHex(0x173A56), FromHex(0x2B5B7E), FromHex(0x0B2236), 0.0}; break;
    case ButtonLook::Disabled: l = {FromHex(0x66717B), FromHex(0x4C555E), FromHex(0x30373E), 0.10}; break;
  }
  const double w = kButtonWidth, h = kButtonHeight, r = 5;
  ArtCanvas canvas(kButtonWidth, kButtonHeight);
  canvas.Fill(RoundRect(0, 0, w, h, r), l.border);
  canvas.Fill(RoundRect(1, 1, w - 1, h - 1, r - 1), VerticalGradient(1, h - 1, l.top, l.bottom));
  if (l.gloss > 0)
    canvas.Fill(And(RoundRect(1, 1, w - 1, h - 1, r - 1), RoundRect(0, 0, w, h / 2, 0)),
                VerticalGradient(1, h / 2, FromHex(0xFFFFFF, l.gloss), FromHex(0xFFFFFF, l.gloss * 0.25)));
  if (look == ButtonLook::Sunken)
    canvas.Fill(And(RoundRect(1, 1, w - 1, h - 1, r - 1), RoundRect(0, 0, w, 3, 0)), FromHex(0x000000, 0.25));
  return canvas.Bitmap();
}

gs::GsBitmap RefreshPicture(RefreshLook look) {
  Rgba colour = FromHex(0xC8D6E0);
  double shift = 0;
  if (look == RefreshLook::Hovered) colour = kAccent;
  if (look == RefreshLook::Pressed) colour = FromHex(0x4FB8D8), shift = 1;
  const double cx = 11 + shift, cy = 11 + shift, inner = 5.2, outer = 7.6, end = 40;
  ArtCanvas canvas(kRefreshSide, kRefreshSide);
  canvas.Fill(Ring(cx, cy, inner, outer, end + 25, 360 + end - 45), colour);
  // The arrow head at the open end, pointing along the turn.
  const double a = (end + 25) * kDegree, mid = (inner + outer) / 2;
  const Point at{cx + mid * std::cos(a), cy - mid * std::sin(a)};
  const Point radial{std::cos(a), -std::sin(a)};
  const Point along{-std::sin(a), -std::cos(a)};  // clockwise on screen
  canvas.Fill(Polygon({{at.x + radial.x * 4.2, at.y + radial.y * 4.2},
                       {at.x - radial.x * 4.2, at.y - radial.y * 4.2},
                       {at.x - along.x * 4.5, at.y - along.y * 4.5}}),
              colour);
  return canvas.Bitmap();
}

std::vector<NamedPicture> AllPictures() {
  return {{"banner.png", Banner()},
          {"logo.png", Logo()},
          {"button_backdrop.png", ButtonBackdrop()},
          {"button_raised.png", ButtonPicture(ButtonLook::Raised)},
          {"button_hovered.png", ButtonPicture(ButtonLook::Hovered)},
          {"button_sunken.png", ButtonPicture(ButtonLook::Sunken)},
          {"button_disabled.png", ButtonPicture(ButtonLook::Disabled)},
          {"refresh_normal.png", RefreshPicture(RefreshLook::Normal)},
          {"refresh_hovered.png", RefreshPicture(RefreshLook::Hovered)},
          {"refresh_pressed.png", RefreshPicture(RefreshLook::Pressed)}};
}

}  // namespace artgen
