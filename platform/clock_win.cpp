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

}  // namespace tev::platform
