// Test helpers for the log: a target that keeps what it receives, and a fixture that gives each
// test a freshly created process-wide log.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "logging/log_api.h"
#include "logging/log_target.h"

namespace tev::testing_support {

struct CapturedRecord {
  std::int32_t level;
  std::uint64_t groupMask;
  std::string message;
  std::string line;
};

// Receives every level and group until told otherwise, and keeps each record with its line.
class CaptureTarget final : public LogTarget {
 public:
  explicit CaptureTarget(std::string name = "CaptureTarget") : name_(std::move(name)) {
    enableWriteEntry();
    setLevel(kLogLevelOkay);
  }
  ~CaptureTarget() override { detach(); }

  const char* name() const override { return name_.c_str(); }

  bool write(const LogRecord& record) override {
    char line[kLogLineBufferSize];
    platform::RecursiveLockGuard guard(targetLock());
    renderLine(record, line, sizeof line);
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back({record.level, record.groupMask, record.message, line});
    return true;
  }

  std::vector<CapturedRecord> records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }
  std::vector<std::string> messages() const {
    std::vector<std::string> texts;
    for (const CapturedRecord& record : records()) texts.push_back(record.message);
    return texts;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
  }

 private:
  std::string name_;
  mutable std::mutex mutex_;
  std::vector<CapturedRecord> records_;
};

// Each test starts with a log created for it (default settings, the built-in targets as at
// creation) and the fixture's reference is dropped at the end, which tears that log down.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A log made by an earlier message (no reference) goes with this release.
    api().addRef();
    api().release();
    api().addRef();
  }
  void TearDown() override { api().release(); }

  static const LogApi& api() { return logApi(); }
};

}  // namespace tev::testing_support
