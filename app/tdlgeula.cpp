#include "app/tdlgeula.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStringDecoder>
#include <QStyle>
#include <QStyleFactory>

#include "app/tdlgfirst.h"
#include "app/tmainform.h"
#include "config/cgetconfiginfo.h"
#include "config/ovmultilangdll.h"
#include "platform/fs/files.h"
#include "platform/fs/readfile.h"
#include "platform/text.h"

namespace {
constexpr wchar_t kDesignFont[] = L"Microsoft Sans Serif";
constexpr int kBannerHeight = 303;
QColor Background() { return QColor(229, 232, 237); }
constexpr QPoint kBackAt{480, 271};
constexpr QPoint kNextAt{600, 271};
// A licence is a few pages; anything far larger is not a licence text and is
// not read into a memo.
constexpr std::size_t kMaxLicenceBytes = 4 * 1024 * 1024;

QString Decode(const QByteArray& bytes) {
  // The byte-order mark decides; without one the text is in the ANSI code
  // page, which is UTF-8 here.
  if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
  if (bytes.startsWith("\xFF\xFE")) return QStringDecoder(QStringDecoder::Utf16LE).decode(bytes.mid(2));
  if (bytes.startsWith("\xFE\xFF")) return QStringDecoder(QStringDecoder::Utf16BE).decode(bytes.mid(2));
  return QString::fromUtf8(bytes);
}
// The application's style draws a scroll bar's thumb lighter than its track,
// which reads as a thumb at the other end (at the bottom while the text is
// at its top). The system's classic scroll bar is drawn instead: a raised
// thumb on a light, dotted track. The style belongs to the scroll bar.
void DrawScrollBarAsTheSystemDoes(QScrollBar* bar) {
  QStyle* style = QStyleFactory::create(QStringLiteral("Windows"));
  if (!style) return;
  style->setParent(bar);
  bar->setStyle(style);
}
}  // namespace

TdlgEULA::TdlgEULA(TdlgFirst& owner) : WizardWindow(kDesignFont, kBannerHeight), m_owner(owner) {
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Background());
  setPalette(palette);
  setAutoFillBackground(true);
  Image1()->setPixmap(QPixmap::fromImage(owner.Skin().banner));
  m_Label1 = WrapLabel(this, 192, 13, 497, 74);
  m_Label1->setFont(PixelFont(QString::fromStdWString(kDesignFont), kDesignFontPixels));
  m_Label2 = WrapLabel(this, 192, 41, 497, 46);
  m_EULAMemo = new QPlainTextEdit(this);
  m_EULAMemo->setGeometry(192, 93, 497, 146);
  m_EULAMemo->setReadOnly(true);
  m_EULAMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  DrawScrollBarAsTheSystemDoes(m_EULAMemo->verticalScrollBar());
  m_CheckBox1 = new QCheckBox(this);
  m_CheckBox1->setGeometry(400, 245, 97, 17);

  m_Mode = 1;
  LoadLicence();
  ApplyBranding(*this);
  m_EULAMemo->setFont(PixelFont(QString::fromStdWString(kDesignFont), kDesignFontPixels));

  m_pNext = MakeSkinButton(this, owner.Skin(), kNextAt.x(), kNextAt.y(), L"Next");
  m_pBack = MakeSkinButton(this, owner.Skin(), kBackAt.x(), kBackAt.y(), L"Back");
  m_pNext->OnClick = [this] { NextClick(); };
  m_pBack->OnClick = [this] { BackClick(); };
  m_pNext->setEnabled(false);
  m_CheckBox1->setText(QString::fromStdWString(Translate(L"I agree")));
  // A translation longer than the designed box still shows whole.
  m_CheckBox1->resize(std::max(m_CheckBox1->width(), m_CheckBox1->sizeHint().width()), m_CheckBox1->height());
  SetCaptionAndHint(m_pNext, Translate(L"Next"));
  SetCaptionAndHint(m_pBack, Translate(L"Back"));
  connect(m_CheckBox1, &QCheckBox::toggled, this, [this](bool ticked) { m_pNext->setEnabled(ticked); });
}

void TdlgEULA::LoadLicence() {
  std::wstring path;
  {
    ScopedConfigReading config(ConfigFilePath());
    path = config->GetEulaPath(platform::AnsiFromWide(LanguageName()));
    if (path.empty()) path = config->GetEulaPath("english");
  }
  // A file that cannot be read (missing, a folder, too large) leaves the
  // memo empty; the user can still agree.
  if (path.empty() || !platform::PathExists(path) || platform::IsDirectory(path)) return;
  m_EULAMemo->clear();
  m_EULAMemo->setPlainText(ReadLicenceText(path));
}

QString TdlgEULA::ReadLicenceText(const std::wstring& path) {
  std::string bytes;
  if (platform::ReadSystemFile(path, bytes, kMaxLicenceBytes) != platform::ERROR_SUCCESS) return {};
  return DecodeLicenceText(QByteArray::fromStdString(bytes));
}

QString TdlgEULA::DecodeLicenceText(const QByteArray& bytes) {
  QString text = Decode(bytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar(u'\r'), QChar(u'\n'));
  if (text.endsWith(QChar(u'\n'))) text.chop(1);  // lines appended one by one leave no empty last line
  return text;
}

void TdlgEULA::ShowWindow() {
  if (m_CheckBox1->isChecked()) m_CheckBox1->setChecked(false);
  m_Label1->setText(QString::fromStdWString(Translate(L"Tool Description")));
  show();
}

void TdlgEULA::NextClick() {
  m_owner.MainForm().SetMode(m_Mode);
  m_owner.MainForm().FormShow();
  hide();
}

void TdlgEULA::BackClick() {
  m_owner.show();
  hide();
}

void TdlgEULA::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier)) {
    event->accept();
    return;
  }
  WizardWindow::keyPressEvent(event);
}

void TdlgEULA::closeEvent(QCloseEvent* event) {
  event->accept();
  m_owner.EndProgram();
}
