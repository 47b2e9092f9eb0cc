#include "src/gui/widget/GsWidget/gsbutton.h"

#include <QDialog>
#include <QPainter>
#include <QPointer>

#include "src/gui/Painter/TextPainter/qttextrasterizer.h"
#include "src/gui/graphics/image/qtbitmap.h"

namespace gs {

GsButton::GsButton(QWidget* parent) : GsCustomButton(parent) {}

void GsButton::FontChanged() { TextEffect().Raised().SetFont(Font()); }

void GsButton::WidgetChanged() {
  m_dirty = true;
  for (QObject* child : children())
    if (auto* button = dynamic_cast<GsButton*>(child); button && button->ParentBackground()) button->WidgetChanged();
  GsCustomButton::WidgetChanged();
}

void GsButton::Click() {
  // OnClick sees the result already stored and may change it; a result of
  // 0 keeps the dialog open. OnClick may also close or delete the dialog
  // (or this button), so only the guarded pointer is used afterwards.
  QPointer<QDialog> dialog = qobject_cast<QDialog*>(window());
  if (dialog) dialog->setResult(m_modalResult);
  GsCustomButton::Click();
  if (dialog && dialog->isModal() && dialog->isVisible() && dialog->result() != 0) dialog->done(dialog->result());
}

void GsButton::Render() {
  GsButtonWidget& widget = ButtonWidget();
  if (widget.Width() != width() || widget.Height() != height())
    widget.SetBounds(0, 0, width(), height());
  GsBitmap buffer(width(), height());
  auto* parentButton = dynamic_cast<GsButton*>(parentWidget());
  if (ParentBackground() && parentButton) {
    buffer.CopyFrom(parentButton->Rendering().Section(x(), y(), width(), height()), 0, 0);
  } else if (InputBkgnd()) {
    const QPoint at = pos() - InputBkgndOrigin();
    buffer.CopyFrom(InputBkgnd()->Section(at.x(), at.y(), width(), height()), 0, 0);
  }
  widget.Paint(buffer, QtTextRasterizer::Shared());
  m_rendering = std::move(buffer);
  m_dirty = false;
}

const GsBitmap& GsButton::Rendering() {
  if (m_dirty || m_rendering.Width() != width() || m_rendering.Height() != height()) Render();
  return m_rendering;
}

void GsButton::paintEvent(QPaintEvent*) {
  const QImage image = ToQImage(Rendering());
  {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, image);
  }
  if (OnAfterPaint) OnAfterPaint();
}

}  // namespace gs
