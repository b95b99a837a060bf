// Many threads at the log at once: writers, targets coming and going, references taken and
// dropped. Runs under ThreadSanitizer too (label "concurrency").
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "logging/internal/log_core.h"
#include "logging/log_api.h"
#include "logging/log_message.h"
#include "logging/log_target.h"

namespace tev {
namespace {

constexpr int kWriters = 4;
constexpr int kMessagesPerWriter = 3000;

// Records, per writer, the sequence numbers it received, in order.
class SequenceTarget final : public LogTarget {
 public:
  explicit SequenceTarget(const char* name) : name_(name) {
    enableWriteEntry();
    setLevel(kLogLevelOkay);
  }
  ~SequenceTarget() override { detach(); }
  const char* name() const override { return name_; }
  bool write(const LogRecord& record) override {
    platform::RecursiveLockGuard guard(targetLock());
    int writer = 0;
    int sequence = 0;
    if (std::sscanf(record.message, "%d %d", &writer, &sequence) == 2 && writer >= 0 &&
        writer < kWriters) {
      received_[writer].push_back(sequence);
    }
    return true;
  }
  std::vector<int> received(int writer) {
    platform::RecursiveLockGuard guard(targetLock());
    return received_[writer];
  }

 private:
  const char* name_;
  std::vector<int> received_[kWriters];
};

// Some work a target does in write, so deliveries overlap with the churn.
class BusyTarget final : public LogTarget {
 public:
  BusyTarget() { enableWriteEntry(); }
  ~BusyTarget() override { detach(); }
  const char* name() const override { return "busy"; }
  bool write(const LogRecord& record) override {
    char line[kLogLineBufferSize];
    platform::RecursiveLockGuard guard(targetLock());
    renderLine(record, line, sizeof line);
    return line[0] != '\0';
  }
};

void quietBuiltIns(const LogApi& api) {
  LogTargetInterface* stdErr = api.stdErrTarget();
  LogTargetInterface* debugger = api.debuggerTarget();
  stdErr->unregisterTarget(stdErr);
  debugger->unregisterTarget(debugger);
}

TEST(LogConcurrency, WritersLoseNoLineWhileTargetsRegisterAndUnregister) {
  const LogApi& api = logApi();
  LogReference reference;
  quietBuiltIns(api);
  SequenceTarget steady("steady");
  steady.registerTarget();

  std::atomic<int> writersLeft{kWriters};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([w, &writersLeft] {
      for (int i = 0; i < kMessagesPerWriter; ++i) {
        logMessage(kLogLevelWarn, static_cast<std::uint32_t>(kLogGroupDbg), 0, "%d %d", w, i);
      }
      writersLeft.fetch_sub(1);
    });
  }
  for (int c = 0; c < 2; ++c) {
    threads.emplace_back([c, &writersLeft, &api] {
      LogTargetConfig config;
      config.level = kLogLevelOkay;
      config.includeMask = c == 0 ? kLogGroupDbg : 0;
      config.pattern = "#D #L #G #T #M";
      while (writersLeft.load() > 0) {
        BusyTarget target;
        target.configure(config);
        (void)api.findTarget("busy");
        target.setMasks(kLogGroupDbg | kLogGroupNet, kLogGroupNet);
        target.unregister();
        target.registerTarget();
        LogTargetInterface* entries = target.targetInterface();
        entries->setLevel(entries, kLogLevelWarn);
        // Destroyed while registered half of the time.
        if (c == 1) target.unregister();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int w = 0; w < kWriters; ++w) {
    const std::vector<int> received = steady.received(w);
    ASSERT_EQ(received.size(), static_cast<std::size_t>(kMessagesPerWriter)) << w;
    for (int i = 0; i < kMessagesPerWriter; ++i) ASSERT_EQ(received[i], i) << w;
  }
  EXPECT_EQ(api.findTarget("busy"), nullptr);
}

TEST(LogConcurrency, AFirstUseFromManyThreadsCreatesOneLog) {
  const LogApi& api = logApi();
  ASSERT_FALSE(log_internal::loggerSnapshot().exists);
  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::vector<LogTargetInterface*> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &ready, &seen, &api] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      if (t % 2 == 0) {
        api.addRef();
      } else {
        logMessage(kLogLevelOkay, 0, 0, "first");
      }
      seen[t] = api.stdErrTarget();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]);
  for (int t = 0; t < kThreads; t += 2) api.release();
  EXPECT_FALSE(log_internal::loggerSnapshot().exists);
}

TEST(LogConcurrency, ReferencesComeAndGoWhileThreadsLog) {
  const LogApi& api = logApi();
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int w = 0; w < 3; ++w) {
    threads.emplace_back([&stop] {
      while (!stop.load()) {
        logMessage(kLogLevelOkay, static_cast<std::uint32_t>(kLogGroupTst), 0, "churn");
      }
    });
  }
  for (int i = 0; i < 300; ++i) {
    api.addRef();
    quietBuiltIns(api);
    BusyTarget target;
    target.registerTarget();
    api.setLevel(kLogLevelOkay);
    api.release();  // the last reference: the log goes while the writers keep going
  }
  stop.store(true);
  for (std::thread& thread : threads) thread.join();
  api.addRef();
  api.release();
  EXPECT_FALSE(log_internal::loggerSnapshot().exists);
}

TEST(LogConcurrency, ANewGroupNameGetsOneSlotWhoeverRegistersIt) {
  constexpr int kThreads = 4;
  constexpr int kNames = 12;
  std::vector<std::vector<std::uint64_t>> bits(kThreads, std::vector<std::uint64_t>(kNames));
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &bits, &ready] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      for (int n = 0; n < kNames; ++n) {
        const char name[4] = {'C', 'C', static_cast<char>('A' + n), '\0'};
        bits[t][n] = logApi().groupFromName(name, nullptr);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<std::uint64_t> distinct;
  for (int n = 0; n < kNames; ++n) {
    for (int t = 1; t < kThreads; ++t) EXPECT_EQ(bits[t][n], bits[0][n]) << n;
    EXPECT_NE(bits[0][n], 0u);
    distinct.insert(bits[0][n]);
  }
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kNames));
}

}  // namespace
}  // namespace tev
