#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

namespace platform {

namespace {
HostClock g_hostClock;
std::atomic<Clock*> g_clock{&g_hostClock};
}  // namespace

SYSTEMTIME HostClock::LocalTime() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t secs = system_clock::to_time_t(now);
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&secs, &tm);
  SYSTEMTIME st;
  st.wYear = static_cast<std::uint16_t>(tm.tm_year + 1900);
  st.wMonth = static_cast<std::uint16_t>(tm.tm_mon + 1);
  st.wDayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
  st.wDay = static_cast<std::uint16_t>(tm.tm_mday);
  st.wHour = static_cast<std::uint16_t>(tm.tm_hour);
  st.wMinute = static_cast<std::uint16_t>(tm.tm_min);
  st.wSecond = static_cast<std::uint16_t>(tm.tm_sec);
  st.wMilliseconds = static_cast<std::uint16_t>(ms);
  return st;
}

void HostClock::Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

SYSTEMTIME GetLocalTime() { return g_clock.load()->LocalTime(); }
void Sleep(DWORD milliseconds) { g_clock.load()->Sleep(milliseconds); }

ScopedClock::ScopedClock(Clock& clock) : previous_(g_clock.exchange(&clock)) {}
ScopedClock::~ScopedClock() { g_clock.store(previous_); }

}  // namespace platform
