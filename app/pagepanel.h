#pragma once
// PagePanel: a page of the main window. A plain panel whose edge is drawn
// as a tiled bevel (a lowered one-pixel frame) and no outer bevel.

#include <QFrame>

class PagePanel final : public QFrame {
 public:
  static constexpr int kDesignLeft = 179;
  static constexpr int kDesignTop = 67;
  static constexpr int kWidth = 525;
  static constexpr int kShownLeft = 180;
  static constexpr int kShownHeight = 205;

  PagePanel(QWidget* parent, int designHeight);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
