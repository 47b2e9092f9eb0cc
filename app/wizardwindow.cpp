#include "app/wizardwindow.h"

#include <QGuiApplication>
#include <QScreen>

#include "src/gui/graphics/image/pictureloader.h"
#include "src/gui/graphics/image/qtbitmap.h"

namespace {
constexpr int kBannerLeft = -2;
constexpr int kBannerWidth = 173;
const char* const kAutoSizeProperty = "kxAutoSize";
}  // namespace

WizardWindow::WizardWindow(const std::wstring& fontName, int bannerHeight) : QWidget(nullptr) {
  // A tool window keeps the program off the taskbar; the close box is the
  // only title-bar button, and the size is fixed.
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(PixelFont(QString::fromStdWString(fontName), kDesignFontPixels));
  m_image1 = new QLabel(this);
  m_image1->setGeometry(kBannerLeft, 0, kBannerWidth, bannerHeight);
  m_image1->setScaledContents(false);
  m_image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  CentreOnScreen();
}

QFont WizardWindow::PixelFont(const QString& family, int pixels, bool bold) {
  QFont font(family);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

void WizardWindow::CentreOnScreen() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void WizardWindow::SetBrandingFont(const std::wstring& fontName) {
  QFont designed = font();
  designed.setFamily(QString::fromStdWString(fontName));
  setFont(designed);
}

void WizardWindow::SetBrandingCaption(const std::wstring& caption) { setWindowTitle(QString::fromStdWString(caption)); }

bool WizardWindow::LoadBannerPicture(const std::wstring& path) {
  QImage picture;
  if (!gs::LoadPicture(path, picture)) return false;
  m_image1->setPixmap(QPixmap::fromImage(picture));
  return true;
}

QLabel* AutoLabel(QWidget* parent, int left, int top, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);  // texts are shown as written
  label->setProperty(kAutoSizeProperty, true);
  label->move(left, top);
  label->adjustSize();
  return label;
}

QLabel* WrapLabel(QWidget* parent, int left, int top, int width, int height, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);  // texts are shown as written
  label->setGeometry(left, top, width, height);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

void SetLabelText(QLabel* label, const std::wstring& text) {
  label->setText(QString::fromStdWString(text));
  if (label->property(kAutoSizeProperty).toBool()) label->adjustSize();
}
