#include "app/qtmainthread.h"

#include <QThread>

QtMainThread::QtMainThread() : m_context(std::make_unique<QObject>()) {}

QtMainThread::~QtMainThread() {
  if (m_installed) platform::SetMainThread(nullptr);
}

void QtMainThread::Install() {
  platform::SetMainThread(this);
  m_installed = true;
}

void QtMainThread::Synchronize(const std::function<void()>& fn) {
  if (QThread::currentThread() == m_context->thread()) fn();
  else QMetaObject::invokeMethod(m_context.get(), fn, Qt::BlockingQueuedConnection);
}
