#include "app/thddvdsize.h"

#include "pipeline/jobchecks.h"

ThdDvdSize::ThdDvdSize(std::function<void(bool)> busy) : m_busy(std::move(busy)), m_measure(&MeasureDvd) {}

ThdDvdSize::~ThdDvdSize() { EndAndWait(); }

int ThdDvdSize::MeasureDvd(const std::wstring& root) { return SourceSizeMB(root); }

void ThdDvdSize::SetMeasure(Measure measure) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_measure = std::move(measure);
}

void ThdDvdSize::Request(const std::wstring& sourceRoot) {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_root = sourceRoot;
    ++m_requested;
    m_SizeReady.store(false, std::memory_order_release);
  }
  Resume();
}

void ThdDvdSize::Execute() {
  while (!Terminated()) {
    std::wstring root;
    std::uint64_t request = 0;
    Measure measure;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      root = m_root;
      request = m_requested;
      measure = m_measure;
    }
    if (m_busy) m_busy(true);
    const int size = measure(root);
    if (m_busy) m_busy(false);
    {
      // A request made meanwhile has woken us again: its measurement comes
      // next, and this older size must not reach the window.
      std::lock_guard<std::mutex> guard(m_lock);
      if (request == m_requested) {
        m_DvdSizeMB.store(size, std::memory_order_relaxed);
        m_SizeReady.store(true, std::memory_order_release);
      }
    }
    Suspend();
  }
}
