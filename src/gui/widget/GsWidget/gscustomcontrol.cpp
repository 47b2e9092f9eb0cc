#include "src/gui/widget/GsWidget/gscustomcontrol.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace gs {

namespace {
MouseButton ToButton(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return MouseButton::Left;
    case Qt::RightButton: return MouseButton::Right;
    default: return MouseButton::Middle;
  }
}
}  // namespace

GsCustomControl::GsCustomControl(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);  // the button takes no keyboard activation
}

GsCustomControl::~GsCustomControl() = default;

std::unique_ptr<GsWidget> GsCustomControl::CreateWidget() { return std::make_unique<GsWidget>(); }

GsWidget& GsCustomControl::Widget() {
  if (!m_widget) {
    m_widget = CreateWidget();
    m_widget->SetBounds(0, 0, width(), height());
    m_widget->SetEnabled(isEnabled());
    m_widget->SetOwner(this);
  }
  return *m_widget;
}

void GsCustomControl::SetInputBkgnd(const GsBitmap* backdrop, QPoint origin) {
  m_inputBkgnd = backdrop;
  m_inputBkgndOrigin = origin;
  WidgetChanged();
}

void GsCustomControl::SetAlphaValue(std::uint8_t value) {
  Widget().SetAlphaValue(value);
  for (QObject* child : children())
    if (auto* control = dynamic_cast<GsCustomControl*>(child); control && control->isVisibleTo(this))
      control->SetAlphaValue(value);
}

void GsCustomControl::SetFont(const GsFont& font) {
  m_font = font;
  FontChanged();
  update();
}

void GsCustomControl::SetHint(const std::wstring& hint) {
  m_hint = hint;
  UpdateToolTip();
}

void GsCustomControl::SetShowHint(bool show) {
  m_showHint = show;
  UpdateToolTip();
}

void GsCustomControl::UpdateToolTip() { setToolTip(m_showHint ? QString::fromStdWString(m_hint) : QString()); }

void GsCustomControl::Click() {
  if (OnClick) OnClick();
}

void GsCustomControl::WidgetChanged() { update(); }

void GsCustomControl::WidgetResized(int width, int height) { resize(width, height); }

bool GsCustomControl::event(QEvent* event) {
  // Losing the mouse capture forgets the press, so a later release over the
  // control is no click. Qt widgets keep the implicit grab of a press until
  // their window stops being the active one (another window or a message box
  // comes up); an explicit grab ends with UngrabMouse.
  if (event->type() == QEvent::UngrabMouse || event->type() == QEvent::WindowDeactivate) m_leftButtonDown = false;
  return QWidget::event(event);
}

void GsCustomControl::mouseMoveEvent(QMouseEvent* event) {
  if (!m_mouseInside) {
    m_mouseInside = true;
    if (OnMouseEnter) OnMouseEnter();
  }
  const QPoint p = event->position().toPoint();
  Widget().MouseMove(p.x(), p.y());
}

void GsCustomControl::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) m_leftButtonDown = true;
  Widget().MouseDown(ToButton(event->button()));
}

void GsCustomControl::mouseReleaseEvent(QMouseEvent* event) {
  Widget().MouseUp(ToButton(event->button()));
  if (event->button() != Qt::LeftButton) return;
  // The platform's rule: pressed on the control and released inside it.
  const bool click = m_leftButtonDown && rect().contains(event->position().toPoint());
  m_leftButtonDown = false;
  if (click) Click();
}

void GsCustomControl::leaveEvent(QEvent* event) {
  m_mouseInside = false;
  Widget().MouseLeave();
  if (OnMouseLeave) OnMouseLeave();
  QWidget::leaveEvent(event);
}

void GsCustomControl::focusInEvent(QFocusEvent* event) {
  update();
  QWidget::focusInEvent(event);
}

void GsCustomControl::focusOutEvent(QFocusEvent* event) {
  update();
  QWidget::focusOutEvent(event);
}

void GsCustomControl::keyPressEvent(QKeyEvent* event) {
  // Space and Enter are noticed but activate nothing.
  if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void GsCustomControl::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    m_leftButtonDown = false;
    Widget().SetEnabled(isEnabled());
  }
  QWidget::changeEvent(event);
}

}  // namespace gs
