// The run page: starting a run, showing the worker's progress messages, and
// the end of the run.

#include <QThread>

#include <cstring>

#include "app/tdlgfirst.h"
#include "app/tmainform.h"
#include "config/messageboxes.h"
#include "config/ovmultilangdll.h"
#include "disk/appfolders.h"
#include "disk/foldertree.h"
#include "disk/mediumutils.h"
#include "disk/tracelog.h"
#include "drivers/controllercoverage.h"
#include "drivers/runosfolder.h"
#include "pipeline/opmessages.h"
#include "pipeline/progressdisplay.h"
#include "pipeline/toperationthd.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"

namespace {
constexpr int kHeadroomMB = 500;
constexpr int kTargetRootChars = 3;
constexpr int kDismPhases = 3;
constexpr int kBarMin = 0;
constexpr int kBarMax = 100;
}  // namespace

void TMainForm::StartRun() {
  const std::wstring driverFolder = platform::WideFromAnsi(GetAppDataFolder()) + L"U3";
  const bool is64 = IsAmd64Build(m_SourcePath.substr(0, 1) + L":\\sources\\idwbinfo.txt");

  auto info = std::make_unique<WIN7_OPERAT_INFO>();
  std::memset(info.get(), 0, sizeof(WIN7_OPERAT_INFO));
  SetInfoField(info->szSourcePath, m_SourcePath);
  SetInfoField(info->szDriverPath, driverFolder);
  SetInfoField(info->szTagPath, m_DlgType == 0 ? m_TargetPath.substr(0, kTargetRootChars) : m_TargetPath);

  m_TmpPath = GetWorkFolder(m_DvdSizeMB + kHeadroomMB, m_TargetPath);
  if (m_TmpPath.empty()) {
    EndWithSpaceWarning();
    return;
  }
  SetInfoField(info->szTmpPath, m_TmpPath);
  // The run's OS folder: the program's OS folder and the library's drivers.
  std::wstring why;
  const std::wstring imageDriverFolder = drivers::PrepareRunOsFolder(is64, why);
  if (imageDriverFolder.empty()) {
    platform::MessageBox(this, Translate(L"Drivers Run Folder Failed") + L" " + why, Translate(L"Warning"),
                         platform::MB_OK);
    m_owner.EndProgram();
    return;
  }
  SetInfoField(info->szImgDriverPath, imageDriverFolder);
  info->bIs64bitDVD = is64;

  TraceLog(std::wstring(L"WIN7_OPERAT_INFO:szSourcePath: ") + info->szSourcePath);
  TraceLog(std::wstring(L"WIN7_OPERAT_INFO:szDriverPath: ") + info->szDriverPath);
  TraceLog(std::wstring(L"WIN7_OPERAT_INFO:szImgDriverPath: ") + info->szImgDriverPath);
  TraceLog(std::wstring(L"WIN7_OPERAT_INFO:szTagPath: ") + info->szTagPath);
  TraceLog(std::wstring(L"WIN7_OPERAT_INFO:szTmpPath: ") + info->szTmpPath);
  TraceLog(L"WIN7_OPERAT_INFO:bIs64bitDVD: " + std::to_wstring(info->bIs64bitDVD ? 1 : 0));
  TraceLog(L"WIN7_OPERAT_INFO:m_DlgType: " + std::to_wstring(m_DlgType));
  drivers::TraceDriverCoverage(is64);

  const bool compatible = m_ui.CheckBox_USBODD->isChecked();
  // The previous run's worker is parked; it goes before its record.
  m_pOperationThd.reset();
  m_pInfo = std::move(info);
  m_pOperationThd =
      std::make_unique<TOperationThd>(true, compatible, m_pInfo.get(), m_DlgType, this, this, m_operationFactory);
  InstallProductCheck(compatible);
  m_runActive = true;
  m_pOperationThd->Resume();
}

void TMainForm::EndWithSpaceWarning() {
  const int needed = (m_DvdSizeMB + kHeadroomMB) * (m_DlgType == 0 ? 1 : 2);
  ShowSpaceWarningBox(this, needed);
  m_owner.EndProgram();
}

void TMainForm::OnOpImages(platform::LPARAM lParam) {
  m_DismSteps = kDismPhases * static_cast<int>(lParam);
  ProgressDisplay::Instance().OnImages(lParam);
}

void TMainForm::OnOpState(platform::WPARAM wParam, platform::LPARAM lParam) {
  const int state = static_cast<int>(wParam);
  const std::wstring key = StateTextKey(state);
  if (!key.empty()) SetStatusText(Translate(key));
  const int position = ProgressDisplay::Instance().OnState(m_DlgType, state, lParam);
  // The bar shows what fits its range; the number shows the sum as it is.
  m_ui.pbDism->setValue(std::clamp(position, kBarMin, kBarMax));
  SetLabelText(m_ui.lblPercent, std::to_wstring(position));
}

std::wstring TMainForm::StatusText() const { return m_ui.lblState->text().toStdWString(); }

void TMainForm::SetStatusText(const std::wstring& text) { m_ui.lblState->setText(QString::fromStdWString(text)); }

void TMainForm::ShowResult(int result) {
  // An empty path would name the current folder: the program folder.
  if (!m_TmpPath.empty() && !DeleteFolderTree(m_TmpPath)) DeleteFolderContents(m_TmpPath);
  m_runActive = false;
  if (m_endAfterRun) {
    m_owner.EndProgram();
    return;
  }
  if (result == kRunFailed) {
    SetNextCaption(Translate(L"Exit"));
    m_ui.m_pNext->repaint();
    return;
  }
  if (AskFinishStartAgain(this, result == kRunCancelled)) {
    m_owner.show();
    hide();
  } else {
    m_owner.EndProgram();
  }
}

bool TMainForm::Post(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) {
  return QMetaObject::invokeMethod(
      this, [this, message, wParam, lParam] { Send(message, wParam, lParam); }, Qt::QueuedConnection);
}

platform::LRESULT TMainForm::Send(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) {
  if (QThread::currentThread() != thread()) {
    platform::LRESULT result = 0;
    QMetaObject::invokeMethod(
        this, [&] { result = Send(message, wParam, lParam); }, Qt::BlockingQueuedConnection);
    return result;
  }
  if (message == WM_OPSTATE) OnOpState(wParam, lParam);
  else if (message == WM_OPIMAGES) OnOpImages(lParam);
  return 0;
}
