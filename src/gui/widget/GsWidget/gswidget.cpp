#include "src/gui/widget/GsWidget/gswidget.h"

namespace gs {

GsWidget::~GsWidget() = default;

void GsWidget::Changed() {
  if (m_owner) m_owner->WidgetChanged();
  else if (m_parent) m_parent->Changed();
}

void GsWidget::SetBounds(int left, int top, int width, int height) {
  const bool resized = width != m_width || height != m_height;
  m_left = left;
  m_top = top;
  m_width = width;
  m_height = height;
  if (resized && m_owner) m_owner->WidgetResized(width, height);
  Changed();
}

void GsWidget::SetVisible(bool visible) {
  m_visible = visible;
  Changed();
}

void GsWidget::SetEnabled(bool enabled) {
  m_enabled = enabled;
  for (auto& child : m_children) child->SetEnabled(enabled);
  Changed();
}

void GsWidget::SetAlphaValue(std::uint8_t value) {
  m_alphaValue = value;
  Changed();
}

void GsWidget::SetAlphaFormat(GsAlphaFormat value) {
  m_alphaFormat = value;
  Changed();
}

GsWidget& GsWidget::AddChild(std::unique_ptr<GsWidget> child) {
  child->m_parent = this;
  m_children.push_back(std::move(child));
  Changed();
  return *m_children.back();
}

bool GsWidget::HitTest(int x, int y) const {
  const GsRect b = Bounds();
  if (x < b.left || y < b.top || x >= b.right || y >= b.bottom) return false;
  if (m_transparentHit) return true;
  const GsBitmap* picture = HitBitmap();
  const int px = x - b.left, py = y - b.top;
  if (!picture || !picture->Contains(px, py)) return false;
  const std::uint8_t alpha = picture->Is32Bit() ? AlphaOf(picture->At(px, py)) : kOpaque;
  return alpha > m_hitAlphaLimit;
}

GsWidget* GsWidget::ChildAt(int x, int y) {
  for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
    GsWidget& child = **it;
    if (!child.Visible() || !child.HitTest(x, y)) continue;
    GsWidget* inner = child.ChildAt(x - child.Left(), y - child.Top());
    return inner ? inner : &child;
  }
  return nullptr;
}

}  // namespace gs
