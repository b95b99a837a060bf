// The three console targets the log builds in: standard error, standard output and the
// debugger's output. Each renders with its own pattern and writes whole lines under its own lock.
// Instances made here are unregistered until registered; the log's own live inside the log.
#pragma once

#include <atomic>
#include <cstdint>

#include "logging/log_target.h"

namespace tev {

class StdErrLogTarget final : public BaseConsoleLogTarget {
 public:
  StdErrLogTarget() = default;
  explicit StdErrLogTarget(const LogApi& api) : BaseConsoleLogTarget(api) {}
  ~StdErrLogTarget() override;

  [[nodiscard]] const char* name() const override;
  bool write(const LogRecord& record) override;
  void flush() override;
};

class StdOutLogTarget final : public BaseConsoleLogTarget {
 public:
  StdOutLogTarget() = default;
  explicit StdOutLogTarget(const LogApi& api) : BaseConsoleLogTarget(api) {}
  ~StdOutLogTarget() override;

  [[nodiscard]] const char* name() const override;
  bool write(const LogRecord& record) override;
  void flush() override;

  // 1: flush standard output after every line. Initially 0.
  void setAutoFlush(std::int32_t autoFlush) noexcept { autoFlush_.store(autoFlush); }
  [[nodiscard]] std::int32_t autoFlush() const noexcept { return autoFlush_.load(); }

 private:
  std::atomic<std::int32_t> autoFlush_{0};
};

// Writes to the system's debugger channel (platform/debugger_output.h).
class DebuggerConsoleLogTarget final : public BaseConsoleLogTarget {
 public:
  DebuggerConsoleLogTarget() = default;
  explicit DebuggerConsoleLogTarget(const LogApi& api) : BaseConsoleLogTarget(api) {}
  ~DebuggerConsoleLogTarget() override;

  [[nodiscard]] const char* name() const override;
  bool write(const LogRecord& record) override;
  void flush() override {}
};

}  // namespace tev
