#pragma once
// gs::GsCustomControl: a Qt widget that owns one GsWidget (made on first use
// by the virtual CreateWidget) and forwards mouse, focus and enabled
// changes to it. The font is the control's own, not the parent's.
// User-interface thread only.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "src/gui/Painter/TextPainter/gsfont.h"
#include "src/gui/widget/GsWidget/gswidget.h"

namespace gs {

inline constexpr int kDefaultHoverTimeMs = 200;

class GsCustomControl : public QWidget, protected GsWidgetOwner {
 public:
  explicit GsCustomControl(QWidget* parent = nullptr);
  ~GsCustomControl() override;

  GsWidget& Widget();

  // The backdrop behind the control, not owned; origin is where the
  // backdrop's top-left lies in the parent (0, 0 by default).
  const GsBitmap* InputBkgnd() const { return m_inputBkgnd; }
  QPoint InputBkgndOrigin() const { return m_inputBkgndOrigin; }
  void SetInputBkgnd(const GsBitmap* backdrop, QPoint origin = {});

  // Constant opacity (0-255) of the control's picture; it goes on to every
  // visible child that is itself a skinned control, and from there down.
  std::uint8_t AlphaValue() { return Widget().AlphaValue(); }
  void SetAlphaValue(std::uint8_t value);

  int HoverTime() const { return m_hoverTime; }
  bool MouseInside() const { return m_mouseInside; }
  // Set by a left press on the control; cleared by the release and by
  // losing the mouse capture (the grab ends or the window is deactivated).
  bool LeftButtonDown() const { return m_leftButtonDown; }

  const GsFont& Font() const { return m_font; }
  void SetFont(const GsFont& font);

  void SetHint(const std::wstring& hint);
  void SetShowHint(bool show);

  std::function<void()> OnClick;
  std::function<void()> OnMouseEnter;
  std::function<void()> OnMouseLeave;
  std::function<void()> OnAfterPaint;

  // Raises the click event (GsButton first passes on its modal result).
  virtual void Click();

 protected:
  virtual std::unique_ptr<GsWidget> CreateWidget();
  virtual void FontChanged() {}

  void WidgetChanged() override;
  void WidgetResized(int width, int height) override;

  bool event(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateToolTip();

  std::unique_ptr<GsWidget> m_widget;
  bool m_mouseInside = false;
  bool m_leftButtonDown = false;
  const GsBitmap* m_inputBkgnd = nullptr;
  int m_hoverTime = kDefaultHoverTimeMs;
  QPoint m_inputBkgndOrigin;
  GsFont m_font;
  std::wstring m_hint;
  bool m_showHint = false;
};

}  // namespace gs
