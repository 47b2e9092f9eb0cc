// The run page: starting a run, showing the worker's progress messages, and
// the end of the run.

#include <QThread>

#include "app/tdlgfirst.h"
#include "app/tmainform.h"
#include "config/messageboxes.h"
#include "config/ovmultilangdll.h"
#include "pipeline/jobchecks.h"
#include "pipeline/opmessages.h"
#include "pipeline/progressdisplay.h"
#include "pipeline/runsetup.h"
#include "pipeline/targetstate.h"
#include "pipeline/toperationthd.h"

namespace {
constexpr int kDismPhases = 3;
constexpr int kBarMin = 0;
constexpr int kBarMax = 100;
}  // namespace

void TMainForm::StartRun() {
  m_Setup = PrepareRun(m_SourcePath, m_TargetPath, m_DlgType, m_DvdSizeMB);
  const RunSetup& setup = m_Setup;
  if (setup.result == RunSetupResult::NoWorkFolder) {
    EndRunFolders(setup);
    EndWithSpaceWarning();
    return;
  }
  if (setup.result != RunSetupResult::Ready) {
    // Whatever the set-up made goes, as at the end of a run.
    EndRunFolders(setup);
    const wchar_t* key = setup.result == RunSetupResult::NoRunOsFolder ? L"Drivers Run Folder Failed"
                                                                         : L"ISO Folder Not Writable";
    platform::MessageBox(this, Translate(key) + L" " + setup.why, Translate(L"Warning"), platform::MB_OK);
    m_owner.EndProgram();
    return;
  }
  WriteRunStart(setup.info, m_DlgType);
  m_statesSeen.clear();
  m_checkCancelled->store(false);
  m_ui.lblTargetState->clear();

  const bool compatible = m_ui.CheckBox_USBODD->isChecked();
  // The previous run's worker is parked; it goes before its record.
  m_pOperationThd.reset();
  m_pInfo = std::make_unique<WIN7_OPERAT_INFO>(setup.info);
  m_pOperationThd =
      std::make_unique<TOperationThd>(true, compatible, m_pInfo.get(), m_DlgType, this, this, m_operationFactory);
  InstallProductCheck();
  m_runActive = true;
  m_pOperationThd->Resume();
}

void TMainForm::EndWithSpaceWarning() {
  ShowSpaceWarningBox(this, SpaceNeededMB(m_DvdSizeMB, m_DlgType));
  m_owner.EndProgram();
}

void TMainForm::OnOpImages(platform::LPARAM lParam) {
  m_DismSteps = kDismPhases * static_cast<int>(lParam);
  ProgressDisplay::Instance().OnImages(lParam);
}

void TMainForm::OnOpState(platform::WPARAM wParam, platform::LPARAM lParam) {
  const int state = static_cast<int>(wParam);
  m_statesSeen.insert(state);
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
  EndRunFolders(m_Setup);
  // What the target holds now, as the command line says it: the result
  // texts themselves stay as they are.
  if (result != kRunSucceeded) {
    const bool newImage = m_pProductCheck && !m_pProductCheck->NewIsoFiles().empty();
    const wchar_t* key = TargetStateKey(m_DlgType, m_statesSeen, newImage, m_checkCancelled->load());
    SetLabelText(m_ui.lblTargetState, Translate(key) + L" " + (m_pInfo ? m_pInfo->szTagPath : L""));
  }
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
