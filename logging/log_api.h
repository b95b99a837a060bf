// The process-wide log as every module of the process reaches it: one table of plain functions
// (LogApi, version 1) whichever module created the log, and the twelve-entry interface through
// which the log keeps its targets, wherever they were defined. Get the table from logApi(); it
// stays valid for the life of the process. Write messages with logMessage (log_message.h).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "logging/log_record.h"

namespace tev {

inline constexpr std::int32_t kLogApiVersion = 1;
inline constexpr std::int32_t kLogTargetInterfaceVersion = 1;

// A target as the log stores it. Every entry takes the interface's own address first. The log
// calls write with its own lock held; an implementation takes its own lock inside and never
// calls back into the log while holding it.
struct LogTargetInterface {
  std::int32_t (*version)(LogTargetInterface* self);
  void (*setLevel)(LogTargetInterface* self, std::int32_t level);
  std::int32_t (*getLevel)(LogTargetInterface* self);
  // The include mask becomes include AND NOT exclude; the exclude mask is stored as given.
  void (*setMasks)(LogTargetInterface* self, std::uint32_t includeLow, std::uint32_t includeHigh,
                   std::uint32_t excludeLow, std::uint32_t excludeHigh);
  std::uint64_t (*getIncludeMask)(LogTargetInterface* self);
  std::uint64_t (*getExcludeMask)(LogTargetInterface* self);
  const char* (*name)(LogTargetInterface* self);
  const char* (*pattern)(LogTargetInterface* self);
  // Adds the target to the log once; a registered target is left as it is.
  void (*registerTarget)(LogTargetInterface* self);
  // Removes the target from the log if it is registered.
  void (*unregisterTarget)(LogTargetInterface* self);
  bool (*isRegistered)(LogTargetInterface* self);
  // Renders and writes one record; returns whether it was written.
  bool (*write)(LogTargetInterface* self, const LogRecord* record);
};

// The log's table. The log exists from the first addRef (or the first message, or the first
// entry that changes its settings) until the last release; entries that only read report the
// defaults while there is none. Every entry may be called from any thread.
struct LogApi {
  std::int32_t (*version)();  // 1
  // Takes a reference, creating the log on the first; returns the new count.
  std::int32_t (*addRef)();
  // Drops a reference; at zero every registered target is unregistered (last first), the
  // built-in targets are destroyed and the log is freed. Returns the count left; a release
  // without a reference does nothing.
  std::int32_t (*release)();
  void (*setLevel)(std::int32_t minimumLevel);
  std::int32_t (*getLevel)();
  void (*setSuppressedGroups)(std::uint32_t low, std::uint32_t high);
  std::uint64_t (*getSuppressedGroups)();
  void (*mute)();
  void (*unmute)();
  void (*setSecondaryFlag)();
  void (*clearSecondaryFlag)();
  // Appends a target to the list (a target may appear more than once).
  void (*addTarget)(LogTargetInterface* target);
  // Removes every occurrence of a target; the others keep their order.
  void (*removeTarget)(LogTargetInterface* target);
  // The first registered target with this name, or null.
  LogTargetInterface* (*findTarget)(const char* name);
  // The built-in targets; they live inside the log and go with it at the last release.
  LogTargetInterface* (*stdOutTarget)();
  LogTargetInterface* (*stdErrTarget)();
  LogTargetInterface* (*debuggerTarget)();
  // The bit of a group name (only its first three characters count), registering the name when
  // it is new; also stored through `mask` when that is not null. 0 when all 64 slots are taken.
  std::uint64_t (*groupFromName)(const char* name, std::uint64_t* mask);
  // The names of the mask's groups, lowest bit first, joined by ';', cut to the buffer and
  // always terminated; returns the length written.
  std::size_t (*groupNames)(std::uint64_t mask, char* buffer, std::size_t size);
  // Renders a record with a pattern; the line ends with exactly one line feed and is terminated.
  // Returns the length written (0 when size < 2).
  std::size_t (*formatLine)(const LogRecord* record, const char* pattern, char* buffer,
                            std::size_t size);
  // The six-character word of a level.
  const char* (*levelName)(std::int32_t level);
  // The host executable's file name, "<unknown>" until the log was first created.
  const char* (*moduleName)();
  void (*localTime)(LogTime* time);
  // "YYYY-MM-DDThh:mm:ss.mmm"; returns the length written.
  std::size_t (*formatTimestamp)(const LogTime* time, char* buffer, std::size_t size);
  // "YYYY-MM-DDThh-mm-ss", fit for file names; returns the length written.
  std::size_t (*formatFileTimestamp)(const LogTime* time, char* buffer, std::size_t size);
  // Filters, formats (printf) and delivers one message.
  void (*log)(std::int32_t level, std::uint32_t groupLow, std::uint32_t groupHigh,
              const char* format, std::va_list args);
};

static_assert(sizeof(LogApi) == 26 * sizeof(void (*)()), "the log's table has 26 entries");
static_assert(sizeof(LogTargetInterface) == 12 * sizeof(void (*)()),
              "the target interface has 12 entries");

// The process's log table: the one another module published, or this module's own when it came
// first (see platform/process_wide_table.h). Found once, then cached.
const LogApi& logApi();

// Holds one reference on the log for its lifetime, so the log and its targets stay.
class LogReference {
 public:
  LogReference() : api_(logApi()) { api_.addRef(); }
  ~LogReference() { api_.release(); }
  LogReference(const LogReference&) = delete;
  LogReference& operator=(const LogReference&) = delete;

  const LogApi& api() const { return api_; }

 private:
  const LogApi& api_;
};

}  // namespace tev
