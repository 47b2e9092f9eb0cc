#include "pipeline/toperationthd.h"

#include "config/ovmultilangdll.h"
#include "disk/tracelines.h"
#include "disk/tracelog.h"
#include "pipeline/opmessages.h"
#include "platform/disks/volumemount.h"
#include "platform/text.h"

namespace {
constexpr platform::LPARAM kFullProgress = 100;
}  // namespace

TOperationThd::TOperationThd(bool createSuspended, bool compatible, const WIN7_OPERAT_INFO* info, int dlgType,
                             platform::HWND hWnd, RunResultView* view, Win7InsCreator::Factory factory)
    : m_hWnd(hWnd),
      m_pView(view),
      m_pCreator(std::make_unique<Win7InsCreator>(info, hWnd, dlgType, compatible, std::move(factory))) {
  if (!createSuspended) Resume();
}

TOperationThd::~TOperationThd() {
  // The body uses the creator: end it before the members go.
  EndAndWait();
}

void TOperationThd::Cancel() {
  m_bCancel = true;
  m_pCreator->Stop();
}

void TOperationThd::Execute() {
  while (!Terminated()) {
    m_bResult = m_pCreator->Excute();
    // The job's mounted volumes (the USB stick) are written out and released
    // before anything is reported, after a failure or cancel too: a stick
    // pulled at the finish question holds the complete medium.
    std::string released;
    if (!platform::disks::ReleaseVolumes(&released) && !m_bCancel && m_bResult != 0) {
      // What did not reach the stick is no medium: the run fails, saying why.
      TraceLog(L"[TOperationThd::Execute - ReleaseVolumes] is fail: " + platform::WideFromAnsi(released));
      Synchronize([this, released] {
        m_pView->SetStatusText(Translate(L"Release Failed") + L" " + platform::WideFromAnsi(released) + L" ");
      });
      m_bResult = 0;
    }
    if (!m_bCancel && m_bResult != 0 && m_productCheck) {
      const StatusLine say = [this](const std::wstring& text) {
        Synchronize([this, text] { m_pView->SetStatusText(text); });
      };
      if (!m_productCheck(say, m_bCancel) && !m_bCancel) m_bResult = 0;
    }
    if (!m_bCancel && m_bResult != 0) platform::PostMessage(m_hWnd, WM_OPSTATE, kStateFinish, kFullProgress);
    Synchronize([this] { UpdateResult(); });
    // A cancel belongs to the run it was given in and has been reported; the
    // next run starts clean. Both flags are cleared here, before parking and
    // never at the start of a run, so a cancel that comes before or right
    // after the next resume stops that run.
    m_bCancel = false;
    m_pCreator->Rearm();
    Suspend();
  }
}

void TOperationThd::UpdateResult() {
  if (m_bCancel) {
    TraceLog(std::wstring(kRunCancelledTrace));
    m_pView->ShowResult(kRunCancelled);
  } else if (m_bResult != 0) {
    TraceLog(std::wstring(kRunSucceededTrace));
    m_pView->SetStatusText(Translate(L"Successfully updated"));
    m_pView->ShowResult(kRunSucceeded);
  } else {
    m_pView->SetStatusText(m_pView->StatusText() + Translate(L"Operation failed"));
    TraceLog(std::wstring(kRunFailedTrace));
    m_pView->ShowResult(kRunFailed);
  }
}
