#pragma once
// GsWidget: the windowless part of a skinned control. It keeps the
// geometry, the enabled state, the hit-test and alpha settings and the
// pictures, takes the control's input and paints into a bitmap; the control
// only forwards events and puts the result on screen.
//
// Coordinates: Bounds() are in the owner's (or parent widget's) space;
// input points are in this widget's own space, (0, 0) at its top-left.
// User-interface thread only.

#include <cstdint>
#include <memory>
#include <vector>

#include "src/gui/Painter/TextPainter/textrasterizer.h"
#include "src/gui/graphics/image/alphablend.h"

namespace gs {

enum class MouseButton { Left, Right, Middle };

// What a widget tells the control that owns it.
class GsWidgetOwner {
 public:
  virtual ~GsWidgetOwner() = default;
  virtual void WidgetChanged() = 0;                    // repaint
  virtual void WidgetResized(int width, int height) = 0;
};

inline constexpr std::uint8_t kDefaultHitAlphaLimit = 40;

class GsWidget {
 public:
  GsWidget() = default;
  virtual ~GsWidget();
  GsWidget(const GsWidget&) = delete;
  GsWidget& operator=(const GsWidget&) = delete;

  void SetOwner(GsWidgetOwner* owner) { m_owner = owner; }

  GsRect Bounds() const { return {m_left, m_top, m_left + m_width, m_top + m_height}; }
  int Left() const { return m_left; }
  int Top() const { return m_top; }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  void SetBounds(int left, int top, int width, int height);

  bool Visible() const { return m_visible; }
  void SetVisible(bool visible);
  bool Enabled() const { return m_enabled; }
  // Repaints; the state goes on to the child widgets.
  virtual void SetEnabled(bool enabled);

  bool TransparentHit() const { return m_transparentHit; }
  void SetTransparentHit(bool value) { m_transparentHit = value; }
  std::uint8_t HitAlphaLimit() const { return m_hitAlphaLimit; }
  void SetHitAlphaLimit(std::uint8_t value) { m_hitAlphaLimit = value; }
  std::uint8_t AlphaValue() const { return m_alphaValue; }
  void SetAlphaValue(std::uint8_t value);
  GsAlphaFormat AlphaFormat() const { return m_alphaFormat; }
  void SetAlphaFormat(GsAlphaFormat value);

  // Child widgets, owned; their bounds are in this widget's space.
  GsWidget& AddChild(std::unique_ptr<GsWidget> child);
  const std::vector<std::unique_ptr<GsWidget>>& Children() const { return m_children; }
  GsWidget* Parent() const { return m_parent; }

  // True when the point (in the owner's space, like Bounds) lies in the
  // bounds and, with TransparentHit false, on a pixel of the current
  // picture whose alpha exceeds HitAlphaLimit.
  bool HitTest(int x, int y) const;
  // The innermost visible child hit at a point of this widget's space, or
  // null when no child is hit.
  GsWidget* ChildAt(int x, int y);

  virtual void MouseMove(int x, int y) {}
  virtual void MouseDown(MouseButton button) {}
  virtual void MouseUp(MouseButton button) {}
  virtual void MouseLeave() {}
  // Draws the widget onto target at its bounds.
  virtual void Paint(GsBitmap& target, TextRasterizer& rasterizer) {}

 protected:
  // The picture that decides transparent hits; null: none (no pixel hits).
  virtual const GsBitmap* HitBitmap() const { return nullptr; }
  void Changed();

 private:
  GsWidgetOwner* m_owner = nullptr;
  GsWidget* m_parent = nullptr;
  int m_left = 0, m_top = 0, m_width = 0, m_height = 0;
  bool m_visible = true;
  bool m_enabled = true;
  bool m_transparentHit = true;
  std::uint8_t m_hitAlphaLimit = kDefaultHitAlphaLimit;
  std::uint8_t m_alphaValue = kOpaque;
  GsAlphaFormat m_alphaFormat = gafPremultiplied;
  std::vector<std::unique_ptr<GsWidget>> m_children;
};

}  // namespace gs
