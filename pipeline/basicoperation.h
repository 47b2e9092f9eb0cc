#pragma once
// The base of every pipeline step. Operations run on the worker thread;
// Stop may be called from the window thread while Excute runs.

#include "platform/windows/window.h"

class BasicOperation {
 public:
  virtual ~BasicOperation() = default;
  // Performs the step: non-zero on success, 0 on failure.
  [[nodiscard]] virtual int Excute() = 0;
  // True only for the end mark of a step list.
  virtual bool IsComplete() { return false; }
  // True after Stop on an operation that can be stopped.
  virtual bool IsStop() { return false; }
  // Asks a running Excute to end early; the base cannot be stopped.
  virtual void Stop() {}

  int State() const { return m_State; }

 protected:
  BasicOperation() = default;
  BasicOperation(platform::HWND hWnd, int state) : m_hWnd(hWnd), m_State(state) {}
  // Posts WM_OPSTATE (m_State, value) to the window.
  void PostState(platform::LPARAM value) const;

  platform::HWND m_hWnd = nullptr;
  int m_State = 20;
};
