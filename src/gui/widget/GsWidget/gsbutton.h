#pragma once
// gs::GsButton: the skinned button of the windows. Click() first stores
// ModalResult into the parent dialog's result, then raises OnClick; if the
// dialog is modal and its result is still non-zero afterwards, it closes
// with that result. Setting Font copies it into
// TextEffect().Raised(). AlphaValue (from GsCustomControl) goes on to every
// visible skinned child.
// The last rendering is kept for children that use ParentBackground.

#include "src/gui/widget/GsWidget/gscustombutton.h"

namespace gs {

class GsButton : public GsCustomButton {
 public:
  explicit GsButton(QWidget* parent = nullptr);

  int ModalResult() const { return m_modalResult; }
  void SetModalResult(int value) { m_modalResult = value; }

  GsButtonAppearance& Appearance() { return ButtonWidget().Appearance(); }
  GsButtonOuterGlowTextEffect& TextEffect() { return ButtonWidget().TextEffect(); }

  // The button as it looks now (rendered again when something changed).
  const GsBitmap& Rendering();

  void Click() override;

 protected:
  void FontChanged() override;
  void WidgetChanged() override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Render();

  int m_modalResult = 0;
  GsBitmap m_rendering;
  bool m_dirty = true;
};

}  // namespace gs
