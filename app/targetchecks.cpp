// The target pages' checks: the USB disks offered and whether they are big
// enough, and whether the folder chosen for the ISO image lies on an NTFS
// volume with room for it.

#include "app/parsecapacity.h"
#include "app/tmainform.h"
#include "app/usbdevicehint.h"
#include "config/checkboxes.h"
#include "config/messageboxes.h"
#include "config/ovmultilangdll.h"
#include "disk/textutils.h"
#include "pipeline/jobchecks.h"
#include "platform/fs/paths.h"

namespace {
constexpr wchar_t kBrowseTitle[] = L"Please Select Folder:";
}  // namespace

void TMainForm::SetNextEnabledForUsb() {
  const bool usable = StickBigEnough(m_UsbSizeMB, m_DvdSizeMB);
  m_ui.m_pNext->setEnabled(usable);
  // Next is never greyed without a reason the user can read.
  std::wstring why;
  if (!usable && m_UsbSizeMB == 0) why = Translate(L"Usb Entry Not Ready");
  else if (!usable)
    why = FillIn(Translate(L"Usb Entry Too Small"), std::to_wstring(m_UsbSizeMB), std::to_wstring(RequiredMB(m_DvdSizeMB)));
  SetLabelText(m_ui.lblUsbWhy, why);
}

void TMainForm::RefreshUsbList() {
  m_ui.cmbUsbList->clear();
  const std::wstring capacity = Translate(L"Capacity");
  for (const std::wstring& root : UsbDriveRoots()) {
    m_UsbSizeMB = StickCapacityMB(root);
    const QString text = QString::fromStdWString(UsbEntryText(root, m_UsbSizeMB, capacity));
    if (m_UsbSizeMB == 0) m_ui.cmbUsbList->addItem(text);
    else m_ui.cmbUsbList->addItem(text, QString::fromStdWString(root));
    m_ui.cmbUsbList->setItemData(m_ui.cmbUsbList->count() - 1, QString::fromStdWString(UsbDeviceHint(root)),
                                 Qt::ToolTipRole);
  }
  if (m_ui.cmbUsbList->count() > 0) {
    m_ui.cmbUsbList->setCurrentIndex(0);
    cmbUsbListChange();
    return;
  }
  m_TargetPath.clear();
  m_ui.cmbUsbList->addItem(QString::fromStdWString(Translate(L"USB Step2 Insert Note")));
  m_ui.cmbUsbList->setToolTip({});
  m_ui.m_pNext->setEnabled(false);
  m_ui.lblUsbWhy->clear();  // the list's own entry says it
  m_UsbSizeMB = 0;
  m_ui.cmbUsbList->setCurrentIndex(0);
}

void TMainForm::cmbUsbListChange() {
  m_TargetPath = m_ui.cmbUsbList->currentText().toStdWString();
  m_ui.cmbUsbList->setToolTip(m_ui.cmbUsbList->currentData(Qt::ToolTipRole).toString());
  m_UsbSizeMB = ParseCapacity(m_TargetPath);
  SetNextEnabledForUsb();
}

std::wstring TMainForm::BrowseFolder(const std::wstring& title) {
  const QString host = m_folderPicker(QString::fromStdWString(title));
  if (host.isEmpty()) return {};
  return IncludeBackslash(platform::SystemPathFromHost(host.toStdString()));
}

void TMainForm::btnBrowserClick() {
  const std::wstring folder = BrowseFolder(kBrowseTitle);
  if (folder.empty()) {
    m_ui.m_pNext->setEnabled(false);
    return;
  }
  m_ui.EdtISOPathdst->setText(QString::fromStdWString(folder));
  m_TargetPath = folder;
  switch (CheckIsoFolder(folder, m_DvdSizeMB)) {
    case IsoFolderVerdict::Accepted:
      m_ui.m_pNext->setEnabled(true);
      return;
    case IsoFolderVerdict::NotNtfs: ShowNotNtfsMessage(); break;
    case IsoFolderVerdict::TooSmall: ShowDiskTooSmallMessage(); break;
    case IsoFolderVerdict::InsideWorkFolder: ShowIsoFolderClashMessage(); break;
  }
  m_ui.EdtISOPathdst->clear();
  m_ui.m_pNext->setEnabled(false);
}

bool TMainForm::AcceptUsbTarget() {
  const std::wstring root = m_TargetPath.substr(0, 3);
  if (!(m_isUsbTarget ? m_isUsbTarget(root) : IsUsbStickPartition(root))) {
    ShowNotUsbDiskBox();
    return false;
  }
  // No computer starts Windows 7 from a disk of larger sectors: refused
  // before the format question, nothing erased.
  if (!StickSectorsStartWindows(root)) {
    ShowStickSectorsMessage(StickSectorBytes(root));
    return false;
  }
  // A disk the system or the kernel holds (a mount in another namespace,
  // swap, a stacked device) is never offered for erasing.
  if (const std::wstring why = StickRefusal(root); !why.empty()) {
    ShowStickInUseBox(this, why);
    return false;
  }
  return true;
}
