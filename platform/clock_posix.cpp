#include "platform/clock.h"

#include <time.h>

namespace tev::platform {

LocalTime readLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const time_t seconds = now.tv_sec;
  tm civil{};
  localtime_r(&seconds, &civil);
  LocalTime time;
  time.year = civil.tm_year + 1900;
  time.month = civil.tm_mon + 1;
  time.day = civil.tm_mday;
  time.hour = civil.tm_hour;
  time.minute = civil.tm_min;
  time.second = civil.tm_sec;
  time.millisecond = static_cast<std::int32_t>(now.tv_nsec / 1000000);
  return time;
}

std::int64_t highResolutionTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::int64_t highResolutionFrequency() { return 1000000000; }

std::uint64_t coarseMilliseconds() {
  timespec now{};
#ifdef CLOCK_MONOTONIC_COARSE
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
#else
  clock_gettime(CLOCK_MONOTONIC, &now);
#endif
  return static_cast<std::uint64_t>(now.tv_sec) * 1000 +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

std::int64_t wallClockTicks() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 10000000 + now.tv_nsec / 100;
}

}  // namespace tev::platform
