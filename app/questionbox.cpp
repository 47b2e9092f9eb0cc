#include "app/questionbox.h"

#include <QCloseEvent>
#include <QKeyEvent>

QuestionBox::QuestionBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons,
                         QWidget* parent)
    : QMessageBox(icon, title, text, buttons, parent),
      m_answerRequired(buttons == (QMessageBox::Yes | QMessageBox::No)) {
  if (m_answerRequired) setWindowFlag(Qt::WindowCloseButtonHint, false);
}

void QuestionBox::keyPressEvent(QKeyEvent* event) {
  if (m_answerRequired && event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QMessageBox::keyPressEvent(event);
}

void QuestionBox::closeEvent(QCloseEvent* event) {
  // A box closes itself through done() after a button; only an outside
  // close request (window manager, Alt+F4) arrives here without a button.
  if (m_answerRequired && !clickedButton()) {
    event->ignore();
    return;
  }
  QMessageBox::closeEvent(event);
}
