// The main window's pages: which page follows which, what each page shows
// when it is entered, the Next and Back buttons, and closing the window.

#include <QCloseEvent>

#include "app/tdlgfirst.h"
#include "app/tmainform.h"
#include "config/checkboxes.h"
#include "config/diskidentity.h"
#include "config/messageboxes.h"
#include "config/ovmultilangdll.h"
#include "disk/mediumutils.h"
#include "drivers/nodriverstext.h"
#include "drivers/runosfolder.h"
#include "disk/usb/formatnote.h"
#include "pipeline/operationfactory.h"
#include "pipeline/toperationthd.h"

namespace {

enum Page : int { kPageSource = 0, kPageUsb = 1, kPageRun = 2, kPageIso = 4 };

// The page sequence per mode: first, second, third.
constexpr int kSequence[2][3] = {{kPageSource, kPageUsb, kPageRun}, {kPageSource, kPageIso, kPageRun}};

const int* SequenceOf(int mode) { return kSequence[mode == 1 ? 1 : 0]; }

}  // namespace

int TMainForm::PositionInSequence(int page) const {
  const int* sequence = SequenceOf(m_DlgType);
  for (int i = 0; i < 3; ++i)
    if (sequence[i] == page) return i;
  return -1;
}

void TMainForm::SetMode(int mode) {
  m_DlgType = mode;
  m_CurPage = SequenceOf(mode)[0];
  m_ui.EdtISOPathdst->clear();
  m_ui.EdtISOPathdst->setReadOnly(true);
  m_ui.lblState->clear();
}

void TMainForm::FormShow() {
  ShowPage(m_CurPage);
  show();
  raise();
}

void TMainForm::HideAllPages() {
  for (PagePanel* panel : m_Panels) panel->hide();
}

void TMainForm::ShowPanel(PagePanel* panel) {
  panel->setGeometry(PagePanel::kShownLeft, panel->y(), panel->width(), PagePanel::kShownHeight);
  panel->show();
}

void TMainForm::SetNextCaption(const std::wstring& text) { SetCaptionAndHint(m_ui.m_pNext, text); }

std::wstring TMainForm::NextCaption() const { return m_ui.m_pNext->Caption(); }

void TMainForm::ShowPage(int id) {
  switch (id) {
    case kPageSource:
      HideAllPages();
      ShowPanel(m_ui.panSelectDVD);
      SetLabelText(m_ui.Label2, Translate(L"Step1"));
      SetLabelText(m_ui.lblNote, Translate(L"USB Step1 Note"));
      SetLabelText(m_ui.Label3, Translate(L"USB Step1 Caption"));
      SetLabelText(m_ui.lblDVDTitle, Translate(L"Please select"));
      m_ui.btnOpenImage->setText(QString::fromStdWString(Translate(L"Open ISO Image")));
      m_ui.btnOpenImage->resize(std::max(96, m_ui.btnOpenImage->sizeHint().width()), m_ui.btnOpenImage->height());
      m_ui.m_pBack->show();
      m_ui.m_pNext->show();
      SetNextCaption(Translate(L"Next"));
      SetCloseEnabled(true);
      RefreshDvdList();
      break;
    case kPageUsb:
      HideAllPages();
      ShowPanel(m_ui.panSelectUsb);
      SetLabelText(m_ui.Label4, Translate(L"Step2"));
      SetLabelText(m_ui.lblNote, Translate(L"USB Note"));
      SetLabelText(m_ui.Label5, Translate(L"USB Step2 Caption"));
      SetLabelText(m_ui.Label6, Translate(L"USB Step2 Select Note"));
      m_ui.m_pBack->show();
      m_ui.m_pNext->show();
      SetCloseEnabled(true);
      RefreshUsbList();
      break;
    case kPageIso:
      HideAllPages();
      SetLabelText(m_ui.Label10, Translate(L"Step2"));
      ShowPanel(m_ui.Panel_DstISO);
      SetLabelText(m_ui.lblNote, Translate(L"ISO Step2 Note"));
      SetLabelText(m_ui.Label11, Translate(L"ISO Step2 Caption"));
      m_ui.m_pBack->show();
      m_ui.m_pNext->show();
      m_ui.CheckBox_USBODD->setText(QString::fromStdWString(Translate(L"Compatibility Mode")));
      m_ui.CheckBox_USBODD->resize(std::max(110, m_ui.CheckBox_USBODD->sizeHint().width()),
                                   m_ui.CheckBox_USBODD->height());
      SetLabelText(m_ui.Label_USBODD, Translate(L"Compatibility Instruction"));
      m_ui.m_pNext->setEnabled(!m_ui.EdtISOPathdst->text().isEmpty());
      SetCloseEnabled(true);
      break;
    case kPageRun:
      SetCloseEnabled(false);
      // No run without a driver for the source's architecture: the media
      // could not use the USB 3.0 ports they are made for.
      if (const bool is64 = IsAmd64Build(m_SourcePath.substr(0, 1) + L":\\sources\\idwbinfo.txt");
          !drivers::LibraryServes(is64)) {
        platform::MessageBox(this, NoDriversText(is64), Translate(L"Warning"), platform::MB_OK);
        m_CurPage = SequenceOf(m_DlgType)[1];
        ShowPage(m_CurPage);
        return;
      }
      if (HasFormatStep(m_DlgType)) {
        // Formatting needs the rights to write to a whole disk: say so
        // before asking, and stay where the user can do something about it.
        if (!m_hasAdminRights()) {
          ShowNoAdminRightsBox(this);
          m_CurPage = SequenceOf(m_DlgType)[1];
          ShowPage(m_CurPage);
          return;
        }
        if (!AcceptUsbTarget() || !ConfirmFormat()) {
          m_CurPage = SequenceOf(m_DlgType)[1];
          ShowPage(m_CurPage);
          return;
        }
      }
      HideAllPages();
      SetLabelText(m_ui.lblStatus, Translate(L"Status"));
      SetLabelText(m_ui.lblScreenTitle, Translate(L"Step3"));
      SetLabelText(m_ui.Label1, Translate(m_DlgType == 0 ? L"USB Step3 Caption" : L"ISO Step3 Caption"));
      ShowPanel(m_ui.panMainScreen);
      SetLabelText(m_ui.lblNote, Translate(L"USB Step3 Note"));
      m_ui.m_pBack->hide();
      m_ui.m_pNext->show();
      m_ui.m_pNext->setEnabled(true);
      SetNextCaption(Translate(L"Cancel"));
      StartRun();
      break;
    default:
      break;
  }
}

bool TMainForm::ConfirmFormat() {
  return AskFormatWarning(this, FormatEntryWithMounts(m_TargetPath, m_TargetPath),
                          DiskIdentityLine(m_TargetPath.substr(0, 3)));
}

void TMainForm::btnNextClick() {
  if (NextCaption() == Translate(L"Exit")) {
    m_owner.EndProgram();
    return;
  }
  const int i = PositionInSequence(m_CurPage);
  if (i == 2) {
    m_CurPage = kNoPage;
    m_nextTag = kTagLeftRun;
  } else if (i == 0 || i == 1) {
    if (i == 0 && !AcceptSourceMedium()) return;
    m_CurPage = SequenceOf(m_DlgType)[i + 1];
    m_nextTag = kTagStep;
    ShowPage(m_CurPage);
  }
  if (m_nextTag == kTagLeftRun && NextCaption() == Translate(L"Cancel") && m_pOperationThd) m_pOperationThd->Cancel();
}

void TMainForm::btnBackClick() {
  const int i = PositionInSequence(m_CurPage);
  if (i == 0) {
    m_owner.show();
    hide();
  } else if (i == 1) {
    m_CurPage = SequenceOf(m_DlgType)[0];
    ShowPage(m_CurPage);
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // Where the close box cannot be greyed out, the window refuses instead:
  // during a run only Cancel can end it.
  if (!CloseEnabled()) {
    event->ignore();
    return;
  }
  event->accept();
  m_owner.EndProgram();
}
