// The source page's checks: which drives are offered as the Windows 7
// source and how big the chosen one is.

#include <QFile>

#include "app/imageargument.h"
#include "app/tmainform.h"
#include "config/checkboxes.h"
#include "config/ovmultilangdll.h"
#include "disk/mediumutils.h"
#include "disk/sourcemedium.h"
#include "disk/tracelog.h"
#include "disk/volumeutils.h"
#include "pipeline/compatibilitychoice.h"
#include "pipeline/jobchecks.h"
#include "platform/text.h"

namespace {
constexpr wchar_t kNoDvdEntry[] = L"Please insert a DVD-ROM.";
}  // namespace

void TMainForm::RefreshDvdList(const std::wstring& chosenRoot) {
  m_ui.cmbDVDlist->clear();
  for (const std::wstring& root : OpticalDriveRoots()) {
    const std::wstring label = GetVolumeLabel(root);
    std::wstring text = label.empty() ? root : root + L" ( " + label + L" ) ";
    // A drive made of a file the user gave also names the file.
    if (const std::wstring file = ImageEntrySuffix(root[0]); !file.empty())
      text += (label.empty() ? L" " : L"") + file;
    m_ui.cmbDVDlist->addItem(QString::fromStdWString(text), QString::fromStdWString(root));
  }
  if (m_ui.cmbDVDlist->count() > 0) {
    m_cmbDVDlistTag = true;
    const int index = std::max(0, m_ui.cmbDVDlist->findData(QString::fromStdWString(chosenRoot)));
    m_ui.cmbDVDlist->setCurrentIndex(index);
    m_SourcePath = m_ui.cmbDVDlist->itemData(index).toString().toStdWString();
    OnDvdSelected();
    return;
  }
  m_ui.cmbDVDlist->clear();
  m_SourcePath.clear();
  // Listed, not selected: the list shows it, and nothing can be chosen.
  m_ui.cmbDVDlist->addItem(QString::fromStdWString(kNoDvdEntry));
  m_ui.cmbDVDlist->setCurrentIndex(-1);
  m_ui.cmbDVDlist->setPlaceholderText(QString::fromStdWString(kNoDvdEntry));
  m_ui.m_pNext->setEnabled(false);
  m_DvdSizeMB = 0;
  m_cmbDVDlistTag = false;
}

void TMainForm::btnOpenImageClick() {
  const QString host = m_imagePicker(QString::fromStdWString(Translate(L"Open ISO Image")));
  if (host.isEmpty()) return;
  const std::string image = QFile::encodeName(host).toStdString();
  const wchar_t letter = AddImageArgumentDrive(image, this);
  if (letter == 0) return;  // the box has said why
  TraceLog(L"[TMainForm::btnOpenImageClick] " + std::wstring(1, letter) + L": " +
           platform::PrintableText(platform::WideFromAnsi(image)));
  RefreshDvdList(std::wstring(1, letter) + L":\\");
}

void TMainForm::cmbDVDlistChange() {
  if (!m_cmbDVDlistTag) return;
  m_SourcePath = m_ui.cmbDVDlist->currentData().toString().toStdWString();
  OnDvdSelected();
}

void TMainForm::OnDvdSelected() {
  // An Embedded source, or storage drivers in the library, force the box.
  const bool forced = CompatibilityForced(m_SourcePath);
  m_ui.CheckBox_USBODD->setChecked(forced);
  m_ui.CheckBox_USBODD->setEnabled(!forced);
  m_ui.m_pNext->setEnabled(false);
  m_ui.cmbDVDlist->setEnabled(false);
  SetLabelText(m_ui.lblWait, Translate(L"Please wait"));
  m_ui.Timer1->start();
  m_pDvdSizeThd->Request(m_SourcePath);
}

void TMainForm::Timer1Timer() {
  if (!m_pDvdSizeThd->SizeReady()) return;
  m_ui.Timer1->stop();
  m_DvdSizeMB = m_pDvdSizeThd->DvdSizeMB();
  m_ui.m_pNext->setEnabled(true);
  m_ui.cmbDVDlist->setEnabled(true);
  SetLabelText(m_ui.lblWait, Translate(L"Capacity") + std::to_wstring(m_DvdSizeMB) + L" MB");
  if (m_DvdSizeMB == 0) m_ui.m_pNext->setEnabled(false);
}

bool TMainForm::AcceptSourceMedium() {
  const std::vector<MediumProblem> problems = CheckWindows7Medium(m_SourcePath);
  if (!problems.empty()) {
    TraceLog(L"[TMainForm::AcceptSourceMedium] not a Windows 7 medium: " + m_SourcePath);
    ShowSourceMediumBox(this, problems);
    return false;
  }
  // What the media would lack is said now, not after three more pages;
  // Next asks again once the user has added a package.
  const bool is64 = SourceIs64Bit(m_SourcePath);
  const std::vector<std::wstring> gaps = DriverGapLines(is64);
  const std::vector<std::wstring> lines = gaps.empty() ? DriverWarningLines(is64) : gaps;
  if (lines.empty()) return true;
  std::wstring text;
  for (const std::wstring& line : lines) text += (text.empty() ? L"" : L"\n") + line;
  platform::MessageBox(this, platform::PrintableText(text, true), Translate(L"Warning"), platform::MB_OK);
  // Packages that will not load and disks nothing drives are told, not
  // refused: the medium may be made for another computer.
  return gaps.empty();
}
