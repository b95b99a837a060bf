// The framework's log call. Messages go to the process-wide log (log_api.h), which filters them
// by level and group and hands them to its targets. Nothing to own; any thread may log.
#pragma once

#include <cstdint>

namespace tev {

// Formats `format` (printf conventions, not the positional "%1" ones) with the arguments and logs
// it at `level` in the groups of the mask (low and high 32 bits), cut at 4095 characters. The
// framework logs with level 2 or 3 and the group "DBG" (1, 0).
void logMessage(std::int32_t level, std::uint32_t groupLow, std::uint32_t groupHigh,
                const char* format, ...);

}  // namespace tev
