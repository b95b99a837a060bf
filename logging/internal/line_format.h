// The log's texts: level words, timestamps and line rendering with pattern codes, behind the
// log table's entries of the same names. Internal to logging/: other folders use logApi().
#pragma once

#include <cstddef>
#include <cstdint>

#include "logging/log_record.h"

namespace tev::log_internal {

const char* levelName(std::int32_t level);
std::size_t formatTimestamp(const LogTime& time, char* buffer, std::size_t size);
std::size_t formatFileTimestamp(const LogTime& time, char* buffer, std::size_t size);
LogTime localTime();
// The first reading of the high-resolution clock in this module, taken now if there is none.
std::int64_t firstClockReading();
// Seconds and milliseconds since firstClockReading().
void elapsedSinceFirstReading(std::int64_t& seconds, std::int32_t& milliseconds);
std::size_t formatLine(const LogRecord& record, const char* pattern, char* buffer,
                       std::size_t size);

}  // namespace tev::log_internal
