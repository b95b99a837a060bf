#include "platform/clock.h"

#include <windows.h>

namespace tev::platform {

LocalTime readLocalTime() {
  SYSTEMTIME civil;
  GetLocalTime(&civil);
  LocalTime time;
  time.year = civil.wYear;
  time.month = civil.wMonth;
  time.day = civil.wDay;
  time.hour = civil.wHour;
  time.minute = civil.wMinute;
  time.second = civil.wSecond;
  time.millisecond = civil.wMilliseconds;
  return time;
}

std::int64_t highResolutionTicks() {
  LARGE_INTEGER ticks;
  QueryPerformanceCounter(&ticks);
  return ticks.QuadPart;
}

std::int64_t highResolutionFrequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart > 0 ? frequency.QuadPart : 1;
}

std::uint64_t coarseMilliseconds() { return GetTickCount64(); }

std::int64_t wallClockTicks() {
  // FILETIME counts 100-nanosecond ticks from 1601-01-01; 1970-01-01 is this many ticks later.
  constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::int64_t ticks = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  return ticks - kUnixEpochInFileTime;
}

}  // namespace tev::platform
