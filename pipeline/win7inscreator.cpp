#include "pipeline/win7inscreator.h"

#include <string>

#include "disk/mediumutils.h"
#include "disk/tracelog.h"
#include "drivers/runosfolder.h"
#include "pipeline/operationfactory.h"
#include "pipeline/steplists.h"
#include "platform/text.h"

Win7InsCreator::Win7InsCreator(const WIN7_OPERAT_INFO* info, platform::HWND hWnd, int dlgType, bool compatible,
                               Factory factory)
    : m_pInfo(info),
      m_TmpPath(info->szTmpPath),
      m_DlgType(dlgType),
      m_hWnd(hWnd),
      m_bCompatible(compatible),
      m_Factory(factory ? std::move(factory) : Factory(CreateOperation)) {
  // A run whose OS folder holds storage packages is treated as an Embedded
  // source is: the installed system must start from a disk only such a
  // driver reaches, so install.wim is serviced in either mode (the front
  // ends tick the box as they do for an Embedded source).
  const std::vector<std::string> storage = drivers::StoragePackagesIn(info->szImgDriverPath);
  if (!storage.empty()) {
    std::wstring names;
    for (const auto& name : storage) names += (names.empty() ? L"" : L", ") + platform::WideFromAnsi(name);
    TraceLog(L"[Win7InsCreator] storage driver packages, compatibility mode forced: " + names);
  }
  bool substitute;
  if (IsEmbeddedEdition(info->szSourcePath) || !storage.empty()) substitute = m_bCompatible;
  else substitute = m_DlgType != kModeUsb && m_bCompatible;
  if (substitute) SubstituteInstallWimSteps(m_DlgType);
}

Win7InsCreator::~Win7InsCreator() = default;

int Win7InsCreator::CurrentStep() const {
  std::vector<int> list = StepList(m_DlgType);
  return m_Index < list.size() ? list[m_Index] : kEndMark;
}

void Win7InsCreator::ReplaceOperation() {
  std::unique_ptr<BasicOperation> old;
  {
    std::lock_guard lock(m_OperationLock);
    old = std::move(m_pOperation);
  }
  old.reset();
  std::unique_ptr<BasicOperation> next = m_Factory(*this);
  std::lock_guard lock(m_OperationLock);
  m_pOperation = std::move(next);
}

int Win7InsCreator::Excute() {
  if (m_DlgType < 0 || m_DlgType >= kModeCount) return 0;

  std::vector<int> list = StepList(m_DlgType);
  unsigned endMark = 0;
  while (endMark < list.size() && list[endMark] != kEndMark) ++endMark;
  for (unsigned p = 0; p < endMark; ++p) TraceLog(L"[Win7InsCreator::Excute] State: " + std::to_wstring(p));

  const unsigned steps = endMark + 1;
  for (m_Index = 0; m_Index < steps; ++m_Index) {
    ReplaceOperation();
    BasicOperation* op = m_pOperation.get();
    if (op && !op->IsComplete() && !m_bStop) {
      if (op->Excute() == 0) return 0;
    }
  }
  return 1;
}

void Win7InsCreator::Rearm() { m_bStop = false; }

void Win7InsCreator::Stop() {
  m_bStop = true;
  std::lock_guard lock(m_OperationLock);
  if (m_pOperation && !m_pOperation->IsComplete()) m_pOperation->Stop();
}
