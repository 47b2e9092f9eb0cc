#pragma once
// Runs a mode's step list on the worker thread, one operation at a time.
// Stop may be called from the window thread at any moment: it and the
// replacement of the current operation are serialised by a lock, so Stop
// never reaches an operation that is being destroyed.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "pipeline/basicoperation.h"
#include "pipeline/win7operatinfo.h"

class Win7InsCreator {
 public:
  // Makes the operation for the step at the creator's position.
  using Factory = std::function<std::unique_ptr<BasicOperation>(Win7InsCreator&)>;

  // info must outlive the creator. Applies the compatibility substitution to
  // the process-wide step list of the mode. factory defaults to
  // CreateOperation; tests supply their own operations through it.
  Win7InsCreator(const WIN7_OPERAT_INFO* info, platform::HWND hWnd, int dlgType, bool compatible,
                 Factory factory = {});
  ~Win7InsCreator();
  Win7InsCreator(const Win7InsCreator&) = delete;
  Win7InsCreator& operator=(const Win7InsCreator&) = delete;

  // Runs the list: 1 when every step run succeeded (also after a stop
  // between steps), 0 at the first failing step or for a mode without a list.
  // A stop that came before the run (even before it started) is kept: no
  // step runs then.
  [[nodiscard]] int Excute();
  // Asks the run to end; copy and ISO steps end early, others run to their end.
  void Stop();
  // Clears a stop for the next run. Only between runs, by the thread that
  // runs them (the worker, when it parks after reporting): no stop meant for
  // a run can then fall between its clearing and the run.
  void Rearm();

  const WIN7_OPERAT_INFO& Info() const { return *m_pInfo; }
  const std::wstring& TmpPath() const { return m_TmpPath; }
  int DlgType() const { return m_DlgType; }
  unsigned Index() const { return m_Index; }
  platform::HWND Window() const { return m_hWnd; }
  // The step number at the current position.
  int CurrentStep() const;
  // The current operation (null before the first step); worker thread only.
  BasicOperation* Operation() const { return m_pOperation.get(); }

 private:
  void ReplaceOperation();

  const WIN7_OPERAT_INFO* m_pInfo;
  std::wstring m_TmpPath;
  std::unique_ptr<BasicOperation> m_pOperation;
  int m_DlgType;
  unsigned m_Index = 0;
  platform::HWND m_hWnd;
  std::atomic<bool> m_bStop{false};
  bool m_bCompatible;
  Factory m_Factory;
  std::mutex m_OperationLock;
};
