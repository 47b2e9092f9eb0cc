#pragma once
// GsButtonWidget: the widget of a skinned button. It picks the state to
// show, finds the state's picture (with fallbacks), draws the caption onto
// a copy of it with the state's text effect and composites the result.
//
// State shown: disabled -> Disabled; hovered and pressed -> Sunken;
// hovered -> Hovered; otherwise Raised. Focused and Active are never chosen.
// Picture fallback for an empty bitmap: Sunken, Focused and Active use
// Hovered's (and on), Hovered and Disabled use Raised.
// A change of the pictures resizes the widget to the Raised picture.

#include <string>

#include "src/gui/Painter/TextPainter/touterglowtextpainter.h"
#include "src/gui/widget/GsWidget/gsbuttonappearance.h"
#include "src/gui/widget/GsWidget/gsbuttonouterglowtexteffect.h"
#include "src/gui/widget/GsWidget/gswidget.h"

namespace gs {

struct GsTextMargins {
  int Left = 0, Right = 0, Top = 0, Bottom = 0;
};

class GsButtonWidget final : public GsWidget {
 public:
  GsButtonWidget();

  const std::wstring& Caption() const { return m_caption; }
  void SetCaption(const std::wstring& caption);
  bool WordWrap() const { return m_wordWrap; }
  void SetWordWrap(bool value);
  HorzAlign Alignment() const { return m_alignment; }
  void SetAlignment(HorzAlign value);
  VertAlign Layout() const { return m_layout; }
  void SetLayout(VertAlign value);
  const GsTextMargins& TextMargins() const { return m_textMargins; }
  void SetTextMargins(const GsTextMargins& value);

  GsButtonAppearance& Appearance() { return m_appearance; }
  GsButtonOuterGlowTextEffect& TextEffect() { return m_textEffect; }

  bool Hovered() const { return m_hovered; }
  bool Pressed() const { return m_pressed; }
  // The state chosen by the last paint.
  int StateIndex() const { return m_stateIndex; }
  // The state the flags call for now.
  int ChooseState() const;
  // The picture for a state after the fallbacks.
  const GsBitmap& StateBitmap(int index) const;

  void SetEnabled(bool enabled) override;
  void MouseMove(int x, int y) override;
  void MouseDown(MouseButton button) override;
  void MouseUp(MouseButton button) override;
  void MouseLeave() override;
  void Paint(GsBitmap& target, TextRasterizer& rasterizer) override;

  // The state's picture with the caption drawn on it.
  GsBitmap RenderState(int index, TextRasterizer& rasterizer);

 protected:
  const GsBitmap* HitBitmap() const override { return &StateBitmap(ChooseState()); }

 private:
  void DrawCaption(GsBitmap& picture, GsTextRadiationEffect& effect, TextRasterizer& rasterizer);
  void SetFlags(bool hovered, bool pressed);

  std::wstring m_caption;
  bool m_wordWrap = false;
  HorzAlign m_alignment = HorzAlign::Center;
  VertAlign m_layout = VertAlign::Center;
  GsTextMargins m_textMargins;
  bool m_hovered = false;
  bool m_pressed = false;
  int m_stateIndex = bsRaised;
  GsButtonAppearance m_appearance;
  GsButtonOuterGlowTextEffect m_textEffect;
  TOuterGlowTextPainter m_painter;
};

}  // namespace gs
