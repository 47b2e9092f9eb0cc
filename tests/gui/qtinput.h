#pragma once
// Synthetic mouse input for the skinned controls, delivered through the
// application like real input (disabled widgets refuse it there).

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace guitest {

inline void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton,
                  Qt::MouseButtons held = Qt::NoButton) {
  QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}
inline void Move(QWidget* w, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
  Mouse(w, QEvent::MouseMove, at, Qt::NoButton, held);
}
inline void Press(QWidget* w, QPoint at) { Mouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); }
inline void Release(QWidget* w, QPoint at) { Mouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }
inline void Leave(QWidget* w) {
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(w, &event);
}

}  // namespace guitest
