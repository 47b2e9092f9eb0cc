#pragma once
// Local time and sleeping. Both go through a replaceable clock so that tests
// can state times (09:05:03.007) and skip the one- and two-second waits the
// system makes.

#include <cstdint>
#include <memory>

#include "platform/types.h"

namespace platform {

struct SYSTEMTIME {
  std::uint16_t wYear = 0;
  std::uint16_t wMonth = 0;
  std::uint16_t wDayOfWeek = 0;
  std::uint16_t wDay = 0;
  std::uint16_t wHour = 0;
  std::uint16_t wMinute = 0;
  std::uint16_t wSecond = 0;
  std::uint16_t wMilliseconds = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual SYSTEMTIME LocalTime() = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
};

// The host's clock: local time of day with milliseconds, real sleeps.
class HostClock final : public Clock {
 public:
  SYSTEMTIME LocalTime() override;
  void Sleep(DWORD milliseconds) override;
};

SYSTEMTIME GetLocalTime();
void Sleep(DWORD milliseconds);

// Installs a clock for the lifetime of the object (tests). Not nestable across
// threads: install before the threads that use it start.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace platform
