// How a run of the main window ends beyond its own steps: the read-back
// check of the product before the result is shown (the code the command
// line runs), and the terminal's interruptions (Ctrl+C, SIGTERM, SIGHUP),
// which cancel as the Cancel button does and then end the program.

#include "app/tdlgfirst.h"
#include "app/tmainform.h"
#include "pipeline/toperationthd.h"
#include "verify/productcheck.h"

void TMainForm::InstallProductCheck() {
  m_pProductCheck.reset();
  // Test runs with operations of their own make no product to read back.
  if (m_operationFactory) return;
  m_pProductCheck = std::make_unique<ProductCheck>(*m_pInfo, m_DlgType);
  ProductCheck* check = m_pProductCheck.get();
  std::shared_ptr<std::atomic<bool>> cancelled = m_checkCancelled;
  m_pOperationThd->SetProductCheck([check, cancelled](const TOperationThd::StatusLine& say,
                                                      const std::atomic<bool>& cancel) {
    const ProductCheck::Outcome outcome = check->Run(say, cancel);
    cancelled->store(outcome == ProductCheck::Outcome::Cancelled);
    // A good check shows its line until the success text replaces it; a
    // failed one stays, naming what differed, before "Operation failed".
    if (outcome != ProductCheck::Outcome::Cancelled) say(check->Line() + L" ");
    return outcome == ProductCheck::Outcome::Passed;
  });
}

void TMainForm::OnTerminalSignal() {
  m_endAfterRun = true;
  if (!m_runActive) {
    m_owner.EndProgram();
    return;
  }
  // A run ends as cancelled, its stick released, and ShowResult ends the
  // program instead of asking.
  if (m_pOperationThd) m_pOperationThd->Cancel();
}
