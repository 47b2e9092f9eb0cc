#pragma once
// QuestionBox: the Qt message box of the presenter. A Yes/No box can only
// be answered by one of its two buttons: Escape and the window's close
// command do nothing there, as on the system's own Yes/No box (on the
// finish question Escape would otherwise mean "start again"). Boxes with a
// Cancel or a lone OK button keep Qt's Escape handling.

#include <QMessageBox>

class QuestionBox final : public QMessageBox {
 public:
  QuestionBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons, QWidget* parent);

  // True when only a button can close the box.
  bool AnswerRequired() const { return m_answerRequired; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  bool m_answerRequired;
};
