#include "app/tmainform.h"

#include <QApplication>

#include "app/folderpicker.h"
#include "app/tdlgfirst.h"
#include "config/ovmultilangdll.h"
#include "disk/langutils.h"
#include "pipeline/toperationthd.h"
#include "platform/admin.h"
#include "src/gui/widget/GsWidget/createskinbutton.h"

namespace {

constexpr wchar_t kDesignFont[] = L"Microsoft Sans Serif";
constexpr wchar_t kTitleFont[] = L"Tahoma";
constexpr int kBannerHeight = 302;
constexpr int kTitlePixels = 16;
constexpr int kNotePixels = 13;
constexpr int kListHeight = 21;
constexpr int kLanguageShift = 15;
constexpr int kTimerMs = 1000;
constexpr QPoint kNextAt{600, 271};
constexpr QPoint kBackAt{480, 271};
constexpr QPoint kRefreshAt{444, 104};
constexpr QPoint kBrowseAt{420, 100};

QLabel* TitleLabel(QWidget* parent, int left, int top, const wchar_t* family = kDesignFont) {
  QLabel* label = AutoLabel(parent, left, top);
  label->setFont(WizardWindow::PixelFont(QString::fromStdWString(family), kTitlePixels, true));
  return label;
}

// The one-pixel mid-grey separator every page has under its title.
void Splitter(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setGeometry(16, 54, 473, 1);
  line->setAutoFillBackground(true);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, QColor(128, 128, 128));
  line->setPalette(palette);
}

QComboBox* DropDownList(QWidget* parent, int left, int top, int width) {
  auto* list = new QComboBox(parent);
  list->setGeometry(left, top, width, kListHeight);
  return list;
}

}  // namespace

TMainForm::TMainForm(TdlgFirst& owner)
    : WizardWindow(kDesignFont, kBannerHeight),
      m_owner(owner),
      m_folderPicker([this](const QString& title) { return PickFolderWithDialog(this, title); }),
      m_imagePicker([this](const QString& title) { return PickImageWithDialog(this, title); }),
      m_hasAdminRights(&platform::IsUserAnAdmin) {
  BuildDesign();
  m_CurPage = 0;  // the first page of mode 0
  for (QObject* child : children())
    if (auto* panel = dynamic_cast<PagePanel*>(child)) m_Panels.push_back(panel);
  ApplyLanguageLayout();
  ApplyBranding(*this);
  MakeButtons();
  m_ui.m_pNext->setEnabled(false);
  m_pDvdSizeThd = std::make_unique<ThdDvdSize>([this](bool busy) {
    QMetaObject::invokeMethod(this, [this, busy] { OnMeasuring(busy); }, Qt::QueuedConnection);
  });
  m_ui.Timer1->start();
}

TMainForm::~TMainForm() {
  // The worker first: it may still post to this window.
  m_pOperationThd.reset();
  m_pDvdSizeThd.reset();
}

void TMainForm::BuildDesign() {
  Image1()->clear();
  m_ui.lblNote = WrapLabel(this, 190, 8, 511, 53,
                           "Please DO NOT remove the USB disk/flash and make sure your AC adapter is online.");
  m_ui.lblNote->setFont(PixelFont(QString::fromStdWString(kDesignFont), kNotePixels));

  m_ui.panSelectDVD = new PagePanel(this, PagePanel::kShownHeight);
  m_ui.Label2 = TitleLabel(m_ui.panSelectDVD, 16, 21);
  m_ui.Label3 = TitleLabel(m_ui.panSelectDVD, 160, 22);
  Splitter(m_ui.panSelectDVD);
  m_ui.lblDVDTitle = WrapLabel(m_ui.panSelectDVD, 16, 61, 473, 29, "Please select a DVD Device:");
  m_ui.cmbDVDlist = DropDownList(m_ui.panSelectDVD, 16, 96, 473);
  // Between the list and the size line, sized to its text on each showing.
  m_ui.btnOpenImage = new QPushButton(m_ui.panSelectDVD);
  m_ui.btnOpenImage->setGeometry(16, 121, 96, 25);
  m_ui.lblWait = AutoLabel(m_ui.panSelectDVD, 16, 152, "Please Wait...");

  m_ui.panSelectUsb = new PagePanel(this, PagePanel::kShownHeight);
  m_ui.Label4 = TitleLabel(m_ui.panSelectUsb, 16, 26);
  m_ui.Label5 = TitleLabel(m_ui.panSelectUsb, 138, 26);
  Splitter(m_ui.panSelectUsb);
  m_ui.Label6 = WrapLabel(m_ui.panSelectUsb, 16, 69, 473, 34, "If you device is not displayed click \"Refresh\"");
  m_ui.cmbUsbList = DropDownList(m_ui.panSelectUsb, 16, 104, 422);
  m_ui.lblUsbWhy = WrapLabel(m_ui.panSelectUsb, 16, 134, 473, 34);

  m_ui.panMainScreen = new PagePanel(this, PagePanel::kShownHeight);
  m_ui.lblScreenTitle = TitleLabel(m_ui.panMainScreen, 16, 22);
  m_ui.Label1 = TitleLabel(m_ui.panMainScreen, 160, 22);
  Splitter(m_ui.panMainScreen);
  m_ui.pbDism = new QProgressBar(m_ui.panMainScreen);
  m_ui.pbDism->setGeometry(16, 94, 441, 17);
  m_ui.pbDism->setRange(0, 100);
  m_ui.pbDism->setValue(0);
  m_ui.pbDism->setTextVisible(false);
  m_ui.lblPercent = AutoLabel(m_ui.panMainScreen, 460, 95, "0");
  m_ui.Label7 = AutoLabel(m_ui.panMainScreen, 479, 95, "%");
  m_ui.lblStatus = AutoLabel(m_ui.panMainScreen, 16, 144, "Status:");
  m_ui.lblState = WrapLabel(m_ui.panMainScreen, 79, 144, 410, 33);
  m_ui.lblTargetState = WrapLabel(m_ui.panMainScreen, 79, 180, 410, 33);

  m_ui.Panel_DstISO = new PagePanel(this, PagePanel::kShownHeight);
  m_ui.Label10 = TitleLabel(m_ui.Panel_DstISO, 16, 15, kTitleFont);
  m_ui.Label11 = WrapLabel(m_ui.Panel_DstISO, 138, 15, 373, 45, " Select a Folder Path for ISO File");
  m_ui.Label11->setFont(PixelFont(QString::fromStdWString(kTitleFont), kTitlePixels, true));
  Splitter(m_ui.Panel_DstISO);
  m_ui.EdtISOPathdst = new QLineEdit(m_ui.Panel_DstISO);
  m_ui.EdtISOPathdst->setGeometry(32, 101, 360, kListHeight);
  m_ui.EdtISOPathdst->setReadOnly(true);
  m_ui.CheckBox_USBODD = new QCheckBox("Compatibility Mode", m_ui.Panel_DstISO);
  m_ui.CheckBox_USBODD->setGeometry(32, 128, 110, 17);
  m_ui.Label_USBODD = WrapLabel(m_ui.Panel_DstISO, 32, 149, 369, 45,
                                "If you check the compatibility mode, it will make sure that some USD ODD wouldn't "
                                "failed while installing, but it will spend more time to make the ios file.");

  for (PagePanel* panel : {m_ui.panSelectDVD, m_ui.panSelectUsb, m_ui.panMainScreen, m_ui.Panel_DstISO})
    panel->hide();

  m_ui.Timer1 = new QTimer(this);
  m_ui.Timer1->setInterval(kTimerMs);
  connect(m_ui.Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  connect(m_ui.cmbDVDlist, &QComboBox::activated, this, [this] { cmbDVDlistChange(); });
  connect(m_ui.btnOpenImage, &QPushButton::clicked, this, [this] { btnOpenImageClick(); });
  connect(m_ui.cmbUsbList, &QComboBox::activated, this, [this] { cmbUsbListChange(); });
}

void TMainForm::ApplyLanguageLayout() {
  // Longer Spanish and French titles wrap onto a second line: lift them.
  const bool spanish = IsSystemLanguageSpanish();
  if (spanish || IsSystemLanguageFrench()) {
    for (QLabel* label : {m_ui.Label10, m_ui.Label11}) label->move(label->x(), label->y() - kLanguageShift);
  }
  if (spanish) {
    for (QLabel* label : {m_ui.Label4, m_ui.Label5}) label->move(label->x(), label->y() - kLanguageShift);
  }
}

void TMainForm::MakeButtons() {
  const SkinPictures& skin = m_owner.Skin();
  m_refresh = RefreshPictures::Load(palette().color(QPalette::Button));
  gs::CreateSkinButton(m_ui.panSelectUsb, nullptr, m_ui.m_pRefresh, kRefreshAt.x(), kRefreshAt.y(),
                       m_refresh.img_refresh1, m_refresh.img_refresh2, m_refresh.img_refresh3,
                       m_refresh.img_refresh1);
  m_ui.m_pRefresh->OnClick = [this] { btnRefreshClick(); };
  m_ui.m_pNext = MakeSkinButton(this, skin, kNextAt.x(), kNextAt.y(), L"Next");
  m_ui.m_pBack = MakeSkinButton(this, skin, kBackAt.x(), kBackAt.y(), L"Back");
  m_ui.m_pBrowseFolder = MakeSkinButton(m_ui.Panel_DstISO, skin, kBrowseAt.x(), kBrowseAt.y(), L"Browse");
  SetCaptionAndHint(m_ui.m_pBrowseFolder, Translate(L"Browse"));
  m_ui.m_pBrowseFolder->SetHint(L"Brower Folder");
  m_ui.m_pNext->OnClick = [this] { btnNextClick(); };
  m_ui.m_pBack->OnClick = [this] { btnBackClick(); };
  m_ui.m_pBrowseFolder->OnClick = [this] { btnBrowserClick(); };
  SetCaptionAndHint(m_ui.m_pNext, Translate(L"Next"));
  SetCaptionAndHint(m_ui.m_pBack, Translate(L"Back"));
  m_nextTag = kTagStep;
}

void TMainForm::OnMeasuring(bool busy) {
  // The end of a measurement may be handled after the user has moved on:
  // it never opens a Close command the page itself has greyed.
  m_measuring = busy;
  m_ui.m_pBack->setEnabled(!busy);
}
