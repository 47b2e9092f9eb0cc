#pragma once
// WizardWindow: what the three windows of the program share. A fixed client
// area of 712 x 302 pixels with a dialog border and only the close box,
// centred on the screen, styled as a tool window (no taskbar entry of its
// own); the left banner `Image1`; and the branding (font, caption, logo)
// that ApplyBranding hands in. User-interface thread only.

#include <QLabel>
#include <QWidget>

#include <string>

#include "config/applybranding.h"

class WizardWindow : public QWidget, public BrandingTarget {
 public:
  static constexpr int kClientWidth = 712;
  static constexpr int kClientHeight = 302;
  static constexpr int kDesignFontPixels = 11;

  // fontName: the design font of the window.
  WizardWindow(const std::wstring& fontName, int bannerHeight);

  // BrandingTarget
  void SetBrandingFont(const std::wstring& fontName) override;
  void SetBrandingCaption(const std::wstring& caption) override;
  bool LoadBannerPicture(const std::wstring& path) override;

  QLabel* Image1() const { return m_image1; }
  // Moves the window to the middle of its screen.
  void CentreOnScreen();

  // A font of the family at a pixel height, bold or not.
  static QFont PixelFont(const QString& family, int pixels, bool bold = false);

 private:
  QLabel* m_image1;
};

// Label helpers for the designs: a label at a place that sizes itself to its
// text, and one with a fixed box and word wrap.
QLabel* AutoLabel(QWidget* parent, int left, int top, const QString& text = {});
QLabel* WrapLabel(QWidget* parent, int left, int top, int width, int height, const QString& text = {});
// Sets a label's text and keeps an auto-sized label fitted to it.
void SetLabelText(QLabel* label, const std::wstring& text);
