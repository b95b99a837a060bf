#include "logging/internal/log_core.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "logging/console_log_targets.h"
#include "logging/internal/line_format.h"
#include "logging/internal/log_groups.h"
#include "platform/allocator.h"
#include "platform/bounded_format.h"
#include "platform/executable_name.h"

namespace tev::log_internal {
namespace {

// The settings the log filters by before it takes its lock. They outlive any one logger, so a
// message racing the last release never reads freed memory; creation resets them.
struct Filter {
  std::atomic<bool> muted{false};
  std::atomic<std::int32_t> minimumLevel{kLogLevelWarn};
  std::atomic<std::uint64_t> suppressed{kLogGroupXtr};
};

Filter gFilter;

// One delivery of a record in progress: the position of the next target and the end of the
// targets that were registered when the record came. Removals during the delivery move both, so
// no target is skipped or called twice, and targets added meanwhile wait for the next record.
// Deliveries nest when a target logs from inside its write; the innermost is first.
struct Delivery {
  std::size_t next = 0;
  std::size_t end = 0;
  bool loggerGone = false;
  Delivery* outer = nullptr;
};

// Built with the settings of the built-in targets; registering them is left to the creator.
struct Logger {
  Logger() : stdErr(moduleLogApi()), stdOut(moduleLogApi()), debugger(moduleLogApi()) {
    targets.reserve(8);
    stdErr.setPattern("#E(#T): #L| #M");
    stdErr.setMasks(kLogGroupDbg, kLogGroupGen);
    stdOut.setPattern("#M");
    stdOut.setMasks(kLogGroupGen, kLogGroupDbg);
    debugger.setPattern("#E(#T): #L| #M");
    debugger.setMasks(kLogGroupDbg, 0);
  }

  Vector<LogTargetInterface*> targets;
  Delivery* deliveries = nullptr;
  bool secondaryFlag = false;
  std::uint64_t warnings = 0;
  std::uint64_t errors = 0;
  StdErrLogTarget stdErr;
  StdOutLogTarget stdOut;
  DebuggerConsoleLogTarget debugger;
};

// Links a delivery into its logger for its lifetime; a logger that went meanwhile is left alone.
class DeliveryScope {
 public:
  DeliveryScope(Logger& logger, Delivery& delivery) : logger_(logger), delivery_(delivery) {
    delivery_.outer = logger_.deliveries;
    logger_.deliveries = &delivery_;
  }
  ~DeliveryScope() {
    if (!delivery_.loggerGone) logger_.deliveries = delivery_.outer;
  }
  DeliveryScope(const DeliveryScope&) = delete;
  DeliveryScope& operator=(const DeliveryScope&) = delete;

 private:
  Logger& logger_;
  Delivery& delivery_;
};

// Changed only under loggerLock(); read without it only to skip the lock on the fast path.
std::atomic<Logger*> gLogger{nullptr};
std::atomic<std::int32_t> gReferences{0};

constexpr char kUnknownModule[] = "<unknown>";
char gModuleNameBuffer[1024];
// Points at kUnknownModule until the buffer is filled, once, at the first creation.
std::atomic<const char*> gModuleName{kUnknownModule};

std::uint64_t joinWords(std::uint32_t low, std::uint32_t high) {
  return (std::uint64_t{high} << 32) | low;
}

// Call with the lock held. Null when the logger cannot be allocated.
Logger* ensureLogger() {
  Logger* logger = gLogger.load(std::memory_order_acquire);
  if (logger != nullptr) return logger;
  // Out of memory is an answer here, not an exception: no exception leaves the log's table.
  void* block = hookedAllocate(sizeof(Logger));
  if (block == nullptr) return nullptr;
  try {
    logger = ::new (block) Logger();
  } catch (...) {
    hookedFree(block);
    return nullptr;
  }
  gFilter.muted.store(false);
  gFilter.minimumLevel.store(kLogLevelWarn);
  gFilter.suppressed.store(kLogGroupXtr);
  if (gModuleName.load(std::memory_order_acquire) == kUnknownModule) {
    if (platform::hostExecutableFileName(gModuleNameBuffer, sizeof gModuleNameBuffer) > 0) {
      gModuleName.store(gModuleNameBuffer, std::memory_order_release);
    }
  }
  (void)firstClockReading();
  gLogger.store(logger, std::memory_order_release);
  logger->stdErr.registerTarget();
  logger->debugger.registerTarget();
  return logger;
}

void removeEverywhere(Logger& logger, LogTargetInterface* target) {
  auto& list = logger.targets;
  for (std::size_t i = list.size(); i-- > 0;) {
    if (list[i] != target) continue;
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
    for (Delivery* delivery = logger.deliveries; delivery != nullptr; delivery = delivery->outer) {
      if (i < delivery->next) --delivery->next;
      if (i < delivery->end) --delivery->end;
    }
  }
}

// Call with the lock held.
void destroyLogger() {
  Logger* logger = gLogger.load(std::memory_order_acquire);
  if (logger == nullptr) return;
  while (!logger->targets.empty()) {
    LogTargetInterface* target = logger->targets.back();
    target->unregisterTarget(target);
    // A target whose flag was already clear leaves its entry behind; take it out regardless.
    removeEverywhere(*logger, target);
  }
  // A write that released the last reference ends every delivery under way.
  for (Delivery* delivery = logger->deliveries; delivery != nullptr; delivery = delivery->outer) {
    delivery->loggerGone = true;
  }
  // Unpublished first: the built-in targets' destructors then find no list to leave.
  gLogger.store(nullptr, std::memory_order_release);
  destroyObject(logger);
}

bool passesTarget(LogTargetInterface* target, const LogRecord& record) {
  if (target->getLevel(target) > record.level) return false;
  if (record.groupMask == 0) return true;
  if ((record.groupMask & target->getExcludeMask(target)) != 0) return false;
  const std::uint64_t include = target->getIncludeMask(target);
  return include == 0 || (include & record.groupMask) != 0;
}

// --- The table's entries --------------------------------------------------------------------

std::int32_t entryVersion() { return kLogApiVersion; }

std::int32_t entryAddRef() {
  platform::RecursiveLockGuard guard(loggerLock());
  const std::int32_t count = gReferences.fetch_add(1) + 1;
  (void)ensureLogger();
  return count;
}

std::int32_t entryRelease() {
  platform::RecursiveLockGuard guard(loggerLock());
  std::int32_t count = gReferences.load();
  if (count <= 0) return 0;
  count = gReferences.fetch_sub(1) - 1;
  if (count == 0) destroyLogger();
  return count;
}

void entrySetLevel(std::int32_t level) {
  platform::RecursiveLockGuard guard(loggerLock());
  if (ensureLogger() != nullptr) gFilter.minimumLevel.store(level);
}

std::int32_t entryGetLevel() {
  platform::RecursiveLockGuard guard(loggerLock());
  return gFilter.minimumLevel.load();
}

void entrySetSuppressedGroups(std::uint32_t low, std::uint32_t high) {
  platform::RecursiveLockGuard guard(loggerLock());
  if (ensureLogger() != nullptr) gFilter.suppressed.store(joinWords(low, high));
}

std::uint64_t entryGetSuppressedGroups() {
  platform::RecursiveLockGuard guard(loggerLock());
  return gFilter.suppressed.load();
}

void setMuted(bool muted) {
  platform::RecursiveLockGuard guard(loggerLock());
  if (ensureLogger() != nullptr) gFilter.muted.store(muted);
}

void entryMute() { setMuted(true); }
void entryUnmute() { setMuted(false); }

void setSecondaryFlag(bool value) {
  platform::RecursiveLockGuard guard(loggerLock());
  if (Logger* logger = ensureLogger()) logger->secondaryFlag = value;
}

void entrySetSecondaryFlag() { setSecondaryFlag(true); }
void entryClearSecondaryFlag() { setSecondaryFlag(false); }

// A target registered before any logger exists creates one, or the registration would be lost.
void entryAddTarget(LogTargetInterface* target) {
  if (target == nullptr) return;
  platform::RecursiveLockGuard guard(loggerLock());
  Logger* logger = ensureLogger();
  if (logger == nullptr) return;
  try {
    logger->targets.push_back(target);
  } catch (const std::bad_alloc&) {
    // Out of memory: the target stays off the list and receives nothing.
  }
}

void entryRemoveTarget(LogTargetInterface* target) {
  platform::RecursiveLockGuard guard(loggerLock());
  if (Logger* logger = gLogger.load(std::memory_order_acquire)) removeEverywhere(*logger, target);
}

LogTargetInterface* entryFindTarget(const char* name) {
  if (name == nullptr) return nullptr;
  platform::RecursiveLockGuard guard(loggerLock());
  Logger* logger = gLogger.load(std::memory_order_acquire);
  if (logger == nullptr) return nullptr;
  for (LogTargetInterface* target : logger->targets) {
    const char* targetName = target->name(target);
    if (targetName != nullptr && std::strcmp(targetName, name) == 0) return target;
  }
  return nullptr;
}

LogTargetInterface* entryStdOutTarget() {
  platform::RecursiveLockGuard guard(loggerLock());
  Logger* logger = ensureLogger();
  return logger != nullptr ? logger->stdOut.targetInterface() : nullptr;
}

LogTargetInterface* entryStdErrTarget() {
  platform::RecursiveLockGuard guard(loggerLock());
  Logger* logger = ensureLogger();
  return logger != nullptr ? logger->stdErr.targetInterface() : nullptr;
}

LogTargetInterface* entryDebuggerTarget() {
  platform::RecursiveLockGuard guard(loggerLock());
  Logger* logger = ensureLogger();
  return logger != nullptr ? logger->debugger.targetInterface() : nullptr;
}

std::uint64_t entryGroupFromName(const char* name, std::uint64_t* mask) {
  const std::uint64_t bit = groupFromName(name);
  if (mask != nullptr) *mask = bit;
  return bit;
}

std::size_t entryGroupNames(std::uint64_t mask, char* buffer, std::size_t size) {
  return groupNames(mask, buffer, size);
}

std::size_t entryFormatLine(const LogRecord* record, const char* pattern, char* buffer,
                            std::size_t size) {
  if (record == nullptr) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
  return formatLine(*record, pattern, buffer, size);
}

const char* entryLevelName(std::int32_t level) { return levelName(level); }

const char* entryModuleName() { return moduleName(); }

void entryLocalTime(LogTime* time) {
  if (time != nullptr) *time = localTime();
}

std::size_t entryFormatTimestamp(const LogTime* time, char* buffer, std::size_t size) {
  if (time == nullptr) return 0;
  return formatTimestamp(*time, buffer, size);
}

std::size_t entryFormatFileTimestamp(const LogTime* time, char* buffer, std::size_t size) {
  if (time == nullptr) return 0;
  return formatFileTimestamp(*time, buffer, size);
}

void entryLog(std::int32_t level, std::uint32_t groupLow, std::uint32_t groupHigh,
              const char* format, std::va_list args) {
  if (gLogger.load(std::memory_order_acquire) == nullptr) {
    platform::RecursiveLockGuard guard(loggerLock());
    if (ensureLogger() == nullptr) return;
  }
  const std::uint64_t mask = joinWords(groupLow, groupHigh);
  if (gFilter.muted.load() || level < gFilter.minimumLevel.load() ||
      (mask & gFilter.suppressed.load()) != 0) {
    return;
  }
  char message[kLogLineBufferSize];
  message[0] = '\0';
  if (format != nullptr) (void)platform::boundedFormat(message, sizeof message, format, args);
  const LogRecord record{localTime(), level, mask, message};

  platform::RecursiveLockGuard guard(loggerLock());
  // The logger may have gone with a release since the check above: a message after the last
  // release starts a new one.
  Logger* logger = ensureLogger();
  if (logger == nullptr) return;
  if (level == kLogLevelWarn) ++logger->warnings;
  if (level == kLogLevelError) ++logger->errors;
  // A target may unregister itself or others, or register, from inside write: the delivery's
  // position follows the removals (see Delivery).
  Delivery delivery;
  delivery.end = logger->targets.size();
  const DeliveryScope scope(*logger, delivery);
  while (delivery.next < delivery.end) {
    LogTargetInterface* target = logger->targets[delivery.next++];
    if (passesTarget(target, record)) target->write(target, &record);
    // A write that released the last reference took the logger with it.
    if (delivery.loggerGone) return;
  }
}

constexpr LogApi kModuleLogApi{&entryVersion,
                               &entryAddRef,
                               &entryRelease,
                               &entrySetLevel,
                               &entryGetLevel,
                               &entrySetSuppressedGroups,
                               &entryGetSuppressedGroups,
                               &entryMute,
                               &entryUnmute,
                               &entrySetSecondaryFlag,
                               &entryClearSecondaryFlag,
                               &entryAddTarget,
                               &entryRemoveTarget,
                               &entryFindTarget,
                               &entryStdOutTarget,
                               &entryStdErrTarget,
                               &entryDebuggerTarget,
                               &entryGroupFromName,
                               &entryGroupNames,
                               &entryFormatLine,
                               &entryLevelName,
                               &entryModuleName,
                               &entryLocalTime,
                               &entryFormatTimestamp,
                               &entryFormatFileTimestamp,
                               &entryLog};

}  // namespace

const LogApi& moduleLogApi() { return kModuleLogApi; }

platform::RecursiveLock& loggerLock() {
  // Built in place and never destroyed: static destructors elsewhere may still log.
  alignas(platform::RecursiveLock) static unsigned char storage[sizeof(platform::RecursiveLock)];
  static platform::RecursiveLock* const lock = ::new (storage) platform::RecursiveLock();
  return *lock;
}

const char* moduleName() { return gModuleName.load(std::memory_order_acquire); }

LoggerSnapshot loggerSnapshot() {
  platform::RecursiveLockGuard guard(loggerLock());
  LoggerSnapshot snapshot;
  if (Logger* logger = gLogger.load(std::memory_order_acquire)) {
    snapshot.exists = true;
    snapshot.warnings = logger->warnings;
    snapshot.errors = logger->errors;
    snapshot.secondaryFlag = logger->secondaryFlag;
  }
  return snapshot;
}

}  // namespace tev::log_internal
