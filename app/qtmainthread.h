#pragma once
// QtMainThread: platform::MainThread on Qt's GUI thread. Synchronize runs
// the function on the thread that made this object and returns when it has
// finished; called on that thread it runs the function directly. Install()
// makes it the process's dispatcher until it is destroyed.

#include <QObject>

#include <memory>

#include "platform/windows/window.h"

class QtMainThread final : public platform::MainThread {
 public:
  QtMainThread();
  ~QtMainThread() override;
  QtMainThread(const QtMainThread&) = delete;
  QtMainThread& operator=(const QtMainThread&) = delete;

  void Install();
  void Synchronize(const std::function<void()>& fn) override;

 private:
  std::unique_ptr<QObject> m_context;
  bool m_installed = false;
};
