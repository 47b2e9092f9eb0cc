#include "src/gui/widget/GsWidget/gsbuttonwidget.h"

namespace gs {

GsButtonWidget::GsButtonWidget() {
  m_appearance.SetOnChange([this] {
    const GsBitmap& raised = m_appearance.Raised();
    SetBounds(Left(), Top(), raised.Width(), raised.Height());
  });
  m_textEffect.SetOnChange([this] { Changed(); });
}

void GsButtonWidget::SetCaption(const std::wstring& caption) {
  m_caption = caption;
  Changed();
}

void GsButtonWidget::SetWordWrap(bool value) {
  m_wordWrap = value;
  Changed();
}

void GsButtonWidget::SetAlignment(HorzAlign value) {
  m_alignment = value;
  Changed();
}

void GsButtonWidget::SetLayout(VertAlign value) {
  m_layout = value;
  Changed();
}

void GsButtonWidget::SetTextMargins(const GsTextMargins& value) {
  m_textMargins = value;
  Changed();
}

int GsButtonWidget::ChooseState() const {
  if (!Enabled()) return bsDisabled;
  if (m_hovered) return m_pressed ? bsSunken : bsHovered;
  return bsRaised;
}

const GsBitmap& GsButtonWidget::StateBitmap(int index) const {
  for (;;) {
    const GsBitmap& bitmap = m_appearance.Bitmap(index);
    if (!bitmap.Empty()) return bitmap;
    switch (index) {
      case bsSunken:
      case bsFocused:
      case bsActive: index = bsHovered; break;
      case bsHovered:
      case bsDisabled: index = bsRaised; break;
      default: return m_appearance.Raised();
    }
  }
}

void GsButtonWidget::SetFlags(bool hovered, bool pressed) {
  const int before = ChooseState();
  m_hovered = hovered;
  m_pressed = pressed;
  if (ChooseState() != before) Changed();
}

void GsButtonWidget::SetEnabled(bool enabled) {
  m_pressed = false;
  GsWidget::SetEnabled(enabled);
}

void GsButtonWidget::MouseMove(int x, int y) {
  const bool inside = x >= 0 && y >= 0 && x < Width() && y < Height();
  SetFlags(inside, m_pressed);
}

void GsButtonWidget::MouseDown(MouseButton button) {
  // Another button while the left one is held cancels the press.
  if (button == MouseButton::Left) SetFlags(m_hovered, true);
  else if (m_pressed) SetFlags(m_hovered, false);
  Changed();
}

void GsButtonWidget::MouseUp(MouseButton) {
  SetFlags(m_hovered, false);
  Changed();
}

void GsButtonWidget::MouseLeave() {
  SetFlags(false, m_pressed);
  Changed();
}

void GsButtonWidget::DrawCaption(GsBitmap& picture, GsTextRadiationEffect& effect, TextRasterizer& rasterizer) {
  GsRect box = GsRect{0, 0, Width(), Height()}.Inset(m_textMargins.Left, m_textMargins.Top, m_textMargins.Right,
                                                     m_textMargins.Bottom);
  TextLayout layout{m_alignment, m_layout, m_wordWrap};
  if (m_wordWrap && m_layout != VertAlign::Top) {
    // Wrapped text taller than the box gives a negative spare height: the
    // box then grows upwards, so the overflow is split between top and
    // bottom (centre) or cut at the top (bottom); drawing clips to the picture.
    const int spare = box.Height() - rasterizer.WrappedHeight(m_caption, effect.Font(), box.Width());
    box.top += m_layout == VertAlign::Center ? spare / 2 : spare;
    layout.vertical = VertAlign::Top;
  }
  const GlowParams& glow = effect.Params();
  if (glow.offsetX == 0 && glow.offsetY == 0) {
    m_painter.Draw(picture, box, m_caption, effect.Font(), layout, glow, rasterizer);
    return;
  }
  // The shifted text stays inside the unshifted box: draw into a copy and
  // take back only the box's area.
  GsBitmap shifted = picture;
  m_painter.Draw(shifted, box.Moved(glow.offsetX, glow.offsetY), m_caption, effect.Font(), layout, glow, rasterizer);
  picture.CopyFrom(shifted.Section(box.left, box.top, box.Width(), box.Height()), box.left, box.top);
}

GsBitmap GsButtonWidget::RenderState(int index, TextRasterizer& rasterizer) {
  GsBitmap picture = StateBitmap(index);
  if (!m_caption.empty() && !picture.Empty()) DrawCaption(picture, m_textEffect.State(index), rasterizer);
  return picture;
}

void GsButtonWidget::Paint(GsBitmap& target, TextRasterizer& rasterizer) {
  m_stateIndex = ChooseState();
  const GsBitmap picture = RenderState(m_stateIndex, rasterizer);
  Composite(target, Left(), Top(), picture, AlphaFormat(), AlphaValue());
}

}  // namespace gs
