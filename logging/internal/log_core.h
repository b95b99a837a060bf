// The logger behind this module's log table: its lock, lifecycle and entries. Internal to
// logging/. Another module's code must never reach this directly: the process may be using
// another module's logger (see logApi()).
#pragma once

#include <cstdint>

#include "logging/log_api.h"
#include "platform/recursive_lock.h"

namespace tev::log_internal {

// This module's own table, which logApi() publishes when the module comes first.
const LogApi& moduleLogApi();

// The logger's recursive lock. It lives for the whole process, so a thread may wait on it while
// another tears the logger down.
platform::RecursiveLock& loggerLock();

// The host executable's file name, "<unknown>" before the first logger was created.
const char* moduleName();

// What the log table does not report of this module's logger: whether it exists, its two
// counters (level-1 and level-2 messages accepted since it was created) and its secondary flag.
struct LoggerSnapshot {
  bool exists = false;
  std::uint64_t warnings = 0;
  std::uint64_t errors = 0;
  bool secondaryFlag = false;
};
LoggerSnapshot loggerSnapshot();

}  // namespace tev::log_internal
