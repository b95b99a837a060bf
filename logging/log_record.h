// What the process-wide log hands to its targets: the record of one accepted message, with the
// log's levels and the groups every module knows from the start. Plain data; a record and its
// message live only for the target's write call, so copy whatever must outlive it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tev {

// Levels, in rising order of importance; a target or the log drops what is below its minimum.
inline constexpr std::int32_t kLogLevelOkay = 0;
inline constexpr std::int32_t kLogLevelWarn = 1;
inline constexpr std::int32_t kLogLevelError = 2;
inline constexpr std::int32_t kLogLevelAlways = 3;

// The groups of the first eight slots of the group table, one bit each.
inline constexpr std::uint64_t kLogGroupDbg = std::uint64_t{1} << 0;
inline constexpr std::uint64_t kLogGroupGen = std::uint64_t{1} << 1;
inline constexpr std::uint64_t kLogGroupXtr = std::uint64_t{1} << 2;
inline constexpr std::uint64_t kLogGroupPrf = std::uint64_t{1} << 3;
inline constexpr std::uint64_t kLogGroupMem = std::uint64_t{1} << 4;
inline constexpr std::uint64_t kLogGroupDsk = std::uint64_t{1} << 5;
inline constexpr std::uint64_t kLogGroupNet = std::uint64_t{1} << 6;
inline constexpr std::uint64_t kLogGroupTst = std::uint64_t{1} << 7;

// Messages are cut to this many characters; rendering buffers hold this plus a terminator.
inline constexpr std::size_t kLogMessageLimit = 4095;
inline constexpr std::size_t kLogLineBufferSize = kLogMessageLimit + 1;

// The pattern a target starts with: local time, level word, group names, message.
inline constexpr char kDefaultLogPattern[] = "#D| #L| #G| #M";

// Local civil time, down to the millisecond; month and day count from 1.
struct LogTime {
  std::int32_t year;
  std::int32_t month;
  std::int32_t day;
  std::int32_t hour;
  std::int32_t minute;
  std::int32_t second;
  std::int32_t millisecond;
};

struct LogRecord {
  LogTime time;
  std::int32_t level;
  std::uint64_t groupMask;  // 0: no group
  const char* message;      // zero-terminated, at most kLogMessageLimit characters
};

}  // namespace tev
