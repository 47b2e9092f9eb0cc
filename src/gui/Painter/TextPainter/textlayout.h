#pragma once
// Rectangles and text-layout flags shared by the text painters.

namespace gs {

// Left/top inclusive, right/bottom exclusive, like the platform's RECT.
struct GsRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  GsRect Moved(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  GsRect Inset(int l, int t, int r, int b) const { return {left + l, top + t, right - r, bottom - b}; }
  friend bool operator==(const GsRect&, const GsRect&) = default;
};

enum class HorzAlign { Left, Center, Right };
enum class VertAlign { Top, Center, Bottom };

struct TextLayout {
  HorzAlign horizontal = HorzAlign::Center;
  VertAlign vertical = VertAlign::Center;
  bool wordWrap = false;  // without it: one line, vertically centred
};

}  // namespace gs
