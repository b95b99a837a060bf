// The base of every log target: a receiver of the records the process-wide log accepts, with its
// own level, group masks and line pattern, registered with the log through its plain interface.
// A target belongs to whoever made it and unregisters itself when destroyed; a derived class whose
// write uses its own members calls detach() first thing in its destructor.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "logging/log_api.h"
#include "logging/log_record.h"
#include "platform/allocator.h"
#include "platform/recursive_lock.h"

namespace tev {

// The settings configure() applies in one go.
struct LogTargetConfig {
  std::int32_t level = kLogLevelWarn;
  std::uint64_t includeMask = 0;  // 0: every group
  std::uint64_t excludeMask = 0;
  String pattern = kDefaultLogPattern;
};

class LogTarget {
 public:
  virtual ~LogTarget();
  LogTarget(const LogTarget&) = delete;
  LogTarget& operator=(const LogTarget&) = delete;

  // If registered: clears the flag and removes the target from the log (every occurrence).
  virtual void unregister();
  [[nodiscard]] virtual const char* name() const;
  // The line pattern; the text is valid until the next configure().
  [[nodiscard]] virtual const char* pattern() const;
  // Writes one record. Called with the log's lock held, so it must not wait for anything that
  // may be waiting for the log.
  virtual bool write(const LogRecord& record) = 0;

  // What the log stores for this target; valid while the target lives.
  LogTargetInterface* targetInterface() noexcept { return &slot_.entries; }
  // The target behind an interface made by this class (in any module of the same build).
  static LogTarget* fromInterface(LogTargetInterface* target) noexcept;

  // Appends the target to the log's list unless it is registered already.
  void registerTarget();
  [[nodiscard]] bool isRegistered() const noexcept;
  void setLevel(std::int32_t level);
  [[nodiscard]] std::int32_t level() const noexcept;
  // Include becomes include AND NOT exclude, so an excluded group is never also included.
  void setMasks(std::uint64_t include, std::uint64_t exclude);
  [[nodiscard]] std::uint64_t includeMask() const noexcept;
  [[nodiscard]] std::uint64_t excludeMask() const noexcept;
  // Replaces the line pattern (see the log table's formatLine for its codes).
  void setPattern(const char* pattern);

  // Unregisters, takes all four settings, then registers again; no record reaches the target
  // with only part of the new settings.
  void configure(const LogTargetConfig& config);

 protected:
  // Not registered; level 1, no masks, the default pattern. The first form talks to logApi().
  LogTarget();
  explicit LogTarget(const LogApi& api);

  // Makes the interface's write entry call write(); until then it writes nothing.
  void enableWriteEntry() noexcept;
  // Unregisters and makes sure no record is being delivered or will be: the log's list no longer
  // holds the target when this returns, whatever the flag said.
  void detach();
  // Renders a record with the pattern into `buffer`; call with targetLock() held.
  std::size_t renderLine(const LogRecord& record, char* buffer, std::size_t size) const;

  platform::RecursiveLock& targetLock() const noexcept { return lock_; }
  const LogApi& api() const noexcept { return *api_; }

 private:
  // The entries and, right after them, the way back to the object.
  struct Slot {
    LogTargetInterface entries;
    LogTarget* owner;
  };

  Slot slot_;
  std::atomic<bool> registered_{false};
  mutable platform::RecursiveLock lock_;
  // The log reads these without the target's lock.
  std::atomic<std::int32_t> level_{kLogLevelWarn};
  std::atomic<std::uint64_t> includeMask_{0};
  std::atomic<std::uint64_t> excludeMask_{0};
  String pattern_;
  const LogApi* api_;
};

// A target that writes lines to a console-like sink; adds flush().
class BaseConsoleLogTarget : public LogTarget {
 public:
  ~BaseConsoleLogTarget() override;

  [[nodiscard]] const char* name() const override;
  bool write(const LogRecord& record) override = 0;
  // Pushes out whatever the sink buffers.
  virtual void flush() = 0;

 protected:
  BaseConsoleLogTarget();
  explicit BaseConsoleLogTarget(const LogApi& api);
};

}  // namespace tev
