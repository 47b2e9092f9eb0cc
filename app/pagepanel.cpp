#include "app/pagepanel.h"

#include <QPainter>

PagePanel::PagePanel(QWidget* parent, int designHeight) : QFrame(parent) {
  setGeometry(kDesignLeft, kDesignTop, kWidth, designHeight);
  setFrameShape(QFrame::NoFrame);
}

void PagePanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  const QRect r = rect().adjusted(0, 0, -1, -1);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawLine(r.topLeft(), r.topRight());
  painter.drawLine(r.topLeft(), r.bottomLeft());
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(r.bottomLeft(), r.bottomRight());
  painter.drawLine(r.topRight(), r.bottomRight());
}
