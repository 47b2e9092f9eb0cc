#include "app/tdlgfirst.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include "app/tdlgeula.h"
#include "app/tmainform.h"
#include "config/cgetconfiginfo.h"
#include "config/ovmultilangdll.h"

namespace {
constexpr wchar_t kDesignFont[] = L"Tahoma";
constexpr int kBannerHeight = 303;
constexpr int kNoteFontPixels = 13;
constexpr QPoint kNextAt{600, 271};
}  // namespace

TdlgFirst::TdlgFirst() : WizardWindow(kDesignFont, kBannerHeight), m_skin(SkinPictures::Load()) {
  Image1()->setPixmap(QPixmap::fromImage(m_skin.banner));
  // The first call into the string library.
  m_lblDesc = WrapLabel(this, 193, 8, 496, 87, QString::fromStdWString(Translate(L"Tool Description")));

  m_dlgEULA = std::make_unique<TdlgEULA>(*this);
  m_MainForm = std::make_unique<TMainForm>(*this);

  m_Label6 = AutoLabel(this, 193, 101);
  m_Label6->setFont(PixelFont(QString::fromStdWString(kDesignFont), kNoteFontPixels));
  SetLabelText(m_Label6, Translate(L"Please select"));
  m_cmbMode = new QComboBox(this);
  m_cmbMode->setGeometry(193, 128, 417, 21);
  m_cmbMode->addItem(QString::fromStdWString(Translate(L"ODDToUSB")));
  m_cmbMode->addItem(QString::fromStdWString(Translate(L"ODDToISO")));
  m_cmbMode->setCurrentIndex(0);
  m_lblNote = WrapLabel(this, 193, 208, 496, 86);
  m_lblNote->setFont(PixelFont(QString::fromStdWString(kDesignFont), kNoteFontPixels));

  ApplyBranding(*this);

  m_pNext = MakeSkinButton(this, m_skin, kNextAt.x(), kNextAt.y(), L"Next");
  m_pNext->OnClick = [this] { NextClick(); };
  SetCaptionAndHint(m_pNext, Translate(L"Next"));
  cmbModeChange();
  connect(m_cmbMode, &QComboBox::currentIndexChanged, this, [this] { cmbModeChange(); });
}

TdlgFirst::~TdlgFirst() = default;

void TdlgFirst::cmbModeChange() {
  if (m_cmbMode->currentIndex() == 0)
    m_lblNote->setText(QString::fromStdWString(Translate(L"Note") + L"\n" + Translate(L"USB Note")));
  else
    m_lblNote->clear();
  m_pNext->setEnabled(true);
}

void TdlgFirst::NextClick() {
  const int mode = m_cmbMode->currentIndex();
  bool showEula = true;
  {
    ScopedConfigReading config(ConfigFilePath());
    showEula = config->IsShowEula();
  }
  if (showEula) {
    m_dlgEULA->SetMode(mode);
    m_dlgEULA->ShowWindow();
  } else {
    m_MainForm->SetMode(mode);
    m_MainForm->FormShow();
  }
  hide();
}

void TdlgFirst::EndProgram() {
  if (m_ended) return;
  m_ended = true;
  m_MainForm->hide();
  m_dlgEULA->hide();
  hide();
  // The loop ends when it next runs, after the handler that asked for it.
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void TdlgFirst::closeEvent(QCloseEvent* event) {
  event->accept();
  EndProgram();
}
