#include "logging/console_log_targets.h"

#include <cstdio>

#include "platform/debugger_output.h"

namespace tev {

// Each destructor detaches before its class's part of the object goes, so no delivery can reach
// a write whose object is half destroyed.
StdErrLogTarget::~StdErrLogTarget() { detach(); }

const char* StdErrLogTarget::name() const { return "StdErrLogTarget"; }

bool StdErrLogTarget::write(const LogRecord& record) {
  char line[kLogLineBufferSize];
  platform::RecursiveLockGuard guard(targetLock());
  renderLine(record, line, sizeof line);
  std::fputs(line, stderr);
  return true;
}

void StdErrLogTarget::flush() { std::fflush(stderr); }

StdOutLogTarget::~StdOutLogTarget() { detach(); }

const char* StdOutLogTarget::name() const { return "StdOutLogTarget"; }

bool StdOutLogTarget::write(const LogRecord& record) {
  char line[kLogLineBufferSize];
  platform::RecursiveLockGuard guard(targetLock());
  renderLine(record, line, sizeof line);
  std::fputs(line, stdout);
  if (autoFlush_.load() == 1) std::fflush(stdout);
  return true;
}

void StdOutLogTarget::flush() { std::fflush(stdout); }

DebuggerConsoleLogTarget::~DebuggerConsoleLogTarget() { detach(); }

const char* DebuggerConsoleLogTarget::name() const { return "DebuggerConsoleLogTarget"; }

bool DebuggerConsoleLogTarget::write(const LogRecord& record) {
  char line[kLogLineBufferSize];
  platform::RecursiveLockGuard guard(targetLock());
  renderLine(record, line, sizeof line);
  platform::writeDebuggerOutput(line);
  return true;
}

}  // namespace tev
