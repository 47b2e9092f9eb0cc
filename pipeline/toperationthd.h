#pragma once
// The worker thread of a run: it owns the run's creator, runs the chain once
// each time it is started, and reports the outcome to the main window on the
// window's own thread. Between runs it is parked; a Resume runs the chain
// again with the same creator and record.
//
// Order of a run, which the window relies on: the chain's result is stored;
// on an uncancelled success WM_OPSTATE (19, 100) is posted; UpdateResult runs
// on the window thread (platform::Synchronize) and the worker waits for it;
// the worker parks.
//
// Destroy the object only while it is parked (or never started), from the
// window thread, never while a run is in progress.

#include <atomic>
#include <functional>
#include <string>
#include <memory>

#include "pipeline/runresultview.h"
#include "pipeline/win7inscreator.h"
#include "pipeline/win7operatinfo.h"
#include "platform/windows/thread.h"
#include "platform/windows/window.h"

class TOperationThd final : public platform::Thread {
 public:
  // info must outlive the object; hWnd receives the final WM_OPSTATE and
  // view the report (both the main window, which outlives the object).
  // factory is the creator's operation factory (empty: the real steps).
  // With createSuspended false the run starts at once.
  TOperationThd(bool createSuspended, bool compatible, const WIN7_OPERAT_INFO* info, int dlgType,
                platform::HWND hWnd, RunResultView* view, Win7InsCreator::Factory factory = {});
  // Ends the parked thread (Terminated set, woken, joined), then deletes the
  // creator.
  ~TOperationThd() override;

  // Window thread, at any moment during a run: marks the run cancelled and
  // stops the creator. Copy and ISO steps end early; the others finish.
  void Cancel();

  // The read-back check of a run's product (verify/productcheck.h). It runs
  // on the worker after a successful chain, once the job's volumes are
  // released and before anything is reported; say shows a status line on
  // the window, cancel is the run's flag. False fails the run (a set cancel
  // flag reports it cancelled instead). Set it while the worker is parked.
  using StatusLine = std::function<void(const std::wstring&)>;
  using ProductCheckFn = std::function<bool(const StatusLine& say, const std::atomic<bool>& cancel)>;
  void SetProductCheck(ProductCheckFn check) { m_productCheck = std::move(check); }

  // The creator's result of the last run; 0 before the first.
  int Result() const { return m_bResult.load(); }

 protected:
  void Execute() override;

 private:
  // On the window thread: trace line, status text, ShowResult.
  void UpdateResult();

  platform::HWND m_hWnd;
  RunResultView* m_pView;
  std::unique_ptr<Win7InsCreator> m_pCreator;
  std::atomic<int> m_bResult{0};
  std::atomic<bool> m_bCancel{false};
  ProductCheckFn m_productCheck;
};
