#pragma once
// ThdDvdSize: measures the chosen source on a thread of its own, so the
// window keeps painting while a DVD is read. Made once by the main window,
// parked between measurements.
//
// Request (window thread) asks for a measurement of a drive root and clears
// the ready flag. Every request is measured: one that arrives while an
// earlier measurement runs is measured right after it, and only the size
// of the latest request is published. The size is stored before the ready
// flag is raised, so a window that sees SizeReady() reads the right size.
//
// `busy` is called on the size thread when a measurement starts (true) and
// ends (false); the window hands what it does on to its own thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/thread.h"

class ThdDvdSize final : public platform::Thread {
 public:
  // The source's size in MiB (runs on the size thread).
  using Measure = std::function<int(const std::wstring& root)>;

  explicit ThdDvdSize(std::function<void(bool busy)> busy);
  ~ThdDvdSize() override;

  void Request(const std::wstring& sourceRoot);
  bool SizeReady() const { return m_SizeReady.load(std::memory_order_acquire); }
  // The last published size; read it after SizeReady().
  int DvdSizeMB() const { return m_DvdSizeMB.load(std::memory_order_relaxed); }
  // Replaces the measurement (tests); set it before the first Request.
  void SetMeasure(Measure measure);

  // The measurement of the system: the bytes of every file under the root,
  // in whole MiB; 0 when the volume is not ready.
  static int MeasureDvd(const std::wstring& root);

 protected:
  void Execute() override;

 private:
  std::function<void(bool)> m_busy;
  std::mutex m_lock;  // guards the request and the measurement function
  std::wstring m_root;
  std::uint64_t m_requested = 0;
  Measure m_measure;
  std::atomic<int> m_DvdSizeMB{0};
  std::atomic<bool> m_SizeReady{false};
};
