// The clocks the log and the router read: the local wall-clock time and the UTC wall clock for
// stamps, and a monotonic high-resolution counter for elapsed times. Plain values; nothing to own
// or release. Never use the high-resolution counter as a date, nor a wall clock for intervals.
#pragma once

#include <cstdint>

namespace tev::platform {

// The local civil time, down to the millisecond. Month and day count from 1.
struct LocalTime {
  std::int32_t year = 0;
  std::int32_t month = 0;
  std::int32_t day = 0;
  std::int32_t hour = 0;
  std::int32_t minute = 0;
  std::int32_t second = 0;
  std::int32_t millisecond = 0;
};

// The current local time in the system's time zone.
LocalTime readLocalTime();

// A monotonic counter that never goes backwards, in ticks of highResolutionFrequency().
std::int64_t highResolutionTicks();
// Ticks per second of highResolutionTicks(); constant for the life of the process.
std::int64_t highResolutionFrequency();

// A monotonic millisecond count, cheap to read and only as fine as the system's tick (1 to
// 16 ms). For ages and timeouts counted in seconds, not for measuring.
std::uint64_t coarseMilliseconds();

// The current wall-clock time (UTC) as 100-nanosecond ticks since 1970-01-01 00:00:00. May
// jump when the system clock is set; use it to stamp events, never to measure intervals.
std::int64_t wallClockTicks();

}  // namespace tev::platform
