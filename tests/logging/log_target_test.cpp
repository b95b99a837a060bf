#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "logging/console_log_targets.h"
#include "logging/log_api.h"
#include "logging/log_message.h"
#include "logging/log_target.h"
#include "tests/logging/log_test_support.h"

namespace tev {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing_support::CaptureTarget;
using testing_support::LogTest;

// A target that never turns its write entry on.
class SilentTarget final : public LogTarget {
 public:
  ~SilentTarget() override { detach(); }
  bool write(const LogRecord&) override {
    ++writes;
    return true;
  }
  int writes = 0;
};

std::uint32_t low(std::uint64_t mask) { return static_cast<std::uint32_t>(mask); }
std::uint32_t high(std::uint64_t mask) { return static_cast<std::uint32_t>(mask >> 32); }

using LogTargets = LogTest;

TEST_F(LogTargets, SetMasksDropsExcludedBitsFromTheIncludeMask) {
  CaptureTarget target;
  LogTargetInterface* entries = target.targetInterface();
  entries->setMasks(entries, 0x3, 0, 0x1, 0);
  EXPECT_EQ(entries->getIncludeMask(entries), 0x2u);
  EXPECT_EQ(entries->getExcludeMask(entries), 0x1u);
  target.setMasks(std::uint64_t{3} << 40, std::uint64_t{1} << 41);
  EXPECT_EQ(target.includeMask(), std::uint64_t{1} << 40);
  EXPECT_EQ(target.excludeMask(), std::uint64_t{1} << 41);
}

TEST_F(LogTargets, StartUnregisteredWithTheDefaultSettings) {
  SilentTarget target;
  LogTargetInterface* entries = target.targetInterface();
  EXPECT_EQ(entries->version(entries), 1);
  EXPECT_STREQ(entries->name(entries), "LogTarget");
  EXPECT_STREQ(entries->pattern(entries), "#D| #L| #G| #M");
  EXPECT_EQ(entries->getLevel(entries), kLogLevelWarn);
  EXPECT_EQ(entries->getIncludeMask(entries), 0u);
  EXPECT_EQ(entries->getExcludeMask(entries), 0u);
  EXPECT_FALSE(entries->isRegistered(entries));
  entries->setLevel(entries, kLogLevelAlways);
  EXPECT_EQ(target.level(), kLogLevelAlways);
}

TEST_F(LogTargets, AWriteEntryLeftOffWritesNothing) {
  SilentTarget target;
  target.registerTarget();
  const LogRecord record{{}, kLogLevelError, 0, "x"};
  LogTargetInterface* entries = target.targetInterface();
  EXPECT_FALSE(entries->write(entries, &record));
  logMessage(kLogLevelError, 0, 0, "through the log");
  EXPECT_EQ(target.writes, 0);
}

TEST_F(LogTargets, RegisteringTwiceAddsOnce) {
  CaptureTarget target("twice");
  LogTargetInterface* entries = target.targetInterface();
  entries->registerTarget(entries);
  entries->registerTarget(entries);
  EXPECT_TRUE(entries->isRegistered(entries));
  logMessage(kLogLevelWarn, 0, 0, "once");
  EXPECT_THAT(target.messages(), ElementsAre("once"));
  entries->unregisterTarget(entries);
  entries->unregisterTarget(entries);  // not registered: nothing happens
  EXPECT_FALSE(target.isRegistered());
  logMessage(kLogLevelWarn, 0, 0, "gone");
  EXPECT_THAT(target.messages(), ElementsAre("once"));
}

TEST_F(LogTargets, DestroyingARegisteredTargetRemovesIt) {
  CaptureTarget survivor("survivor");
  survivor.registerTarget();
  {
    CaptureTarget scoped("scoped");
    scoped.registerTarget();
    EXPECT_EQ(api().findTarget("scoped"), scoped.targetInterface());
  }
  EXPECT_EQ(api().findTarget("scoped"), nullptr);
  logMessage(kLogLevelWarn, 0, 0, "after");
  EXPECT_THAT(survivor.messages(), ElementsAre("after"));
}

TEST_F(LogTargets, DestroyingATargetAddedDirectlyRemovesIt) {
  {
    CaptureTarget direct("direct");
    api().addTarget(direct.targetInterface());
    api().addTarget(direct.targetInterface());
    EXPECT_FALSE(direct.isRegistered());
  }
  EXPECT_EQ(api().findTarget("direct"), nullptr);
  logMessage(kLogLevelWarn, 0, 0, "no one there");  // under ASan: a dangling entry would show
}

TEST_F(LogTargets, RemoveTargetTakesEveryOccurrenceAndKeepsTheOrder) {
  CaptureTarget a("a");
  CaptureTarget b("b");
  CaptureTarget c("c");
  std::string order;
  api().addTarget(a.targetInterface());
  api().addTarget(b.targetInterface());
  api().addTarget(a.targetInterface());
  api().addTarget(c.targetInterface());
  logMessage(kLogLevelWarn, 0, 0, "four");
  EXPECT_EQ(a.messages().size(), 2u);
  api().removeTarget(a.targetInterface());
  a.clear();
  b.clear();
  logMessage(kLogLevelWarn, 0, 0, "two");
  EXPECT_THAT(a.messages(), IsEmpty());
  EXPECT_THAT(b.messages(), ElementsAre("two"));
  EXPECT_THAT(c.messages(), ElementsAre("four", "two"));
  EXPECT_EQ(api().findTarget("b"), b.targetInterface());
  api().removeTarget(b.targetInterface());
  api().removeTarget(c.targetInterface());
}

TEST_F(LogTargets, FindTargetReturnsTheFirstOfAName) {
  CaptureTarget first("same");
  CaptureTarget second("same");
  second.registerTarget();
  first.registerTarget();
  EXPECT_EQ(api().findTarget("same"), second.targetInterface());
  EXPECT_EQ(api().findTarget("none"), nullptr);
  EXPECT_EQ(api().findTarget(nullptr), nullptr);
}

TEST_F(LogTargets, ConfigureAppliesEverythingAndRegisters) {
  CaptureTarget target;
  LogTargetConfig config;
  config.level = kLogLevelError;
  config.includeMask = kLogGroupNet | kLogGroupDbg;
  config.excludeMask = kLogGroupDbg;
  config.pattern = "<#L|#M>";
  target.configure(config);
  EXPECT_TRUE(target.isRegistered());
  EXPECT_EQ(target.level(), kLogLevelError);
  EXPECT_EQ(target.includeMask(), kLogGroupNet);
  EXPECT_EQ(target.excludeMask(), kLogGroupDbg);
  EXPECT_STREQ(target.pattern(), "<#L|#M>");
  logMessage(kLogLevelWarn, low(kLogGroupNet), 0, "below level");
  logMessage(kLogLevelError, low(kLogGroupNet), 0, "net");
  logMessage(kLogLevelError, low(kLogGroupNet | kLogGroupDbg), 0, "excluded");
  // Configuring a registered target keeps it registered once.
  config.pattern = "#M";
  target.configure(config);
  logMessage(kLogLevelError, low(kLogGroupNet), high(kLogGroupNet), "again");
  const auto records = target.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].line, "< ERROR|net>\n");
  EXPECT_EQ(records[1].line, "again\n");
}

TEST_F(LogTargets, TheBuiltInTargetsHaveTheirSettings) {
  LogTargetInterface* stdErr = api().stdErrTarget();
  LogTargetInterface* stdOut = api().stdOutTarget();
  LogTargetInterface* debugger = api().debuggerTarget();
  EXPECT_STREQ(stdErr->name(stdErr), "StdErrLogTarget");
  EXPECT_STREQ(stdErr->pattern(stdErr), "#E(#T): #L| #M");
  EXPECT_EQ(stdErr->getIncludeMask(stdErr), kLogGroupDbg);
  EXPECT_EQ(stdErr->getExcludeMask(stdErr), kLogGroupGen);
  EXPECT_EQ(stdErr->getLevel(stdErr), kLogLevelWarn);
  EXPECT_TRUE(stdErr->isRegistered(stdErr));
  EXPECT_STREQ(stdOut->name(stdOut), "StdOutLogTarget");
  EXPECT_STREQ(stdOut->pattern(stdOut), "#M");
  EXPECT_EQ(stdOut->getIncludeMask(stdOut), kLogGroupGen);
  EXPECT_EQ(stdOut->getExcludeMask(stdOut), kLogGroupDbg);
  EXPECT_FALSE(stdOut->isRegistered(stdOut));
  EXPECT_STREQ(debugger->name(debugger), "DebuggerConsoleLogTarget");
  EXPECT_STREQ(debugger->pattern(debugger), "#E(#T): #L| #M");
  EXPECT_EQ(debugger->getIncludeMask(debugger), kLogGroupDbg);
  EXPECT_EQ(debugger->getExcludeMask(debugger), 0u);
  EXPECT_TRUE(debugger->isRegistered(debugger));
  EXPECT_EQ(api().findTarget("StdErrLogTarget"), stdErr);
  EXPECT_EQ(api().findTarget("DebuggerConsoleLogTarget"), debugger);
  EXPECT_EQ(api().findTarget("StdOutLogTarget"), nullptr);
}

TEST_F(LogTargets, StandardErrorTakesDbgAndUngroupedButNotGen) {
  ::testing::internal::CaptureStderr();
  logMessage(kLogLevelWarn, low(kLogGroupDbg), 0, "dbg line");
  logMessage(kLogLevelWarn, 0, 0, "plain line");
  logMessage(kLogLevelWarn, low(kLogGroupDbg | kLogGroupGen), 0, "gen line");
  logMessage(kLogLevelWarn, low(kLogGroupNet), 0, "net line");
  logMessage(kLogLevelOkay, low(kLogGroupDbg), 0, "okay line");
  const std::string err = ::testing::internal::GetCapturedStderr();
  const std::string prefix = std::string(api().moduleName()) + "(";
  EXPECT_THAT(err, HasSubstr(prefix));
  EXPECT_THAT(err, HasSubstr("):   WARN| dbg line\n"));
  EXPECT_THAT(err, HasSubstr("):   WARN| plain line\n"));
  EXPECT_THAT(err, ::testing::Not(HasSubstr("gen line")));
  EXPECT_THAT(err, ::testing::Not(HasSubstr("net line")));
  EXPECT_THAT(err, ::testing::Not(HasSubstr("okay line")));
}

TEST_F(LogTargets, StandardOutputWritesTheBareMessage) {
  StdOutLogTarget target;
  EXPECT_STREQ(target.name(), "StdOutLogTarget");
  LogTargetConfig config;
  config.pattern = "#M";
  config.includeMask = kLogGroupTst;
  target.configure(config);
  target.setAutoFlush(1);
  ::testing::internal::CaptureStdout();
  logMessage(kLogLevelWarn, low(kLogGroupTst), 0, "bare");
  logMessage(kLogLevelWarn, low(kLogGroupTst), 0, "ends\n");
  target.flush();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "bare\nends\n");
}

TEST_F(LogTargets, ConsoleTargetsNameThemselves) {
  StdErrLogTarget stdErr;
  DebuggerConsoleLogTarget debugger;
  EXPECT_STREQ(stdErr.name(), "StdErrLogTarget");
  EXPECT_STREQ(debugger.name(), "DebuggerConsoleLogTarget");
  EXPECT_STREQ(static_cast<BaseConsoleLogTarget&>(debugger).BaseConsoleLogTarget::name(),
               "BaseConsoleLogTarget");
  const LogRecord record{{}, kLogLevelWarn, 0, "to the debugger"};
  EXPECT_TRUE(debugger.write(record));
  LogTargetInterface* entries = debugger.targetInterface();
  EXPECT_TRUE(entries->write(entries, &record));
}

TEST_F(LogTargets, ThePluginCanReplaceTheBuiltInTargets) {
  LogTargetInterface* stdErr = api().stdErrTarget();
  LogTargetInterface* debugger = api().debuggerTarget();
  stdErr->unregisterTarget(stdErr);
  debugger->unregisterTarget(debugger);
  CaptureTarget host("PluginLogTarget");
  host.registerTarget();
  ::testing::internal::CaptureStderr();
  logMessage(kLogLevelError, low(kLogGroupDbg), 0, "to the host only");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_THAT(host.messages(), ElementsAre("to the host only"));
}

// Runs an action from inside its own write, once per record, then counts what it received.
class ActingTarget final : public LogTarget {
 public:
  explicit ActingTarget(std::function<void()> action = {}) : action_(std::move(action)) {
    enableWriteEntry();
    setLevel(kLogLevelOkay);
  }
  ~ActingTarget() override { detach(); }
  bool write(const LogRecord&) override {
    ++writes;
    if (action_) action_();
    return true;
  }
  void setAction(std::function<void()> action) { action_ = std::move(action); }
  int writes = 0;

 private:
  std::function<void()> action_;
};

// Whatever a target does to the list from inside its write, every target still registered when
// its turn comes receives the record exactly once, and one removed before its turn is not called.
TEST_F(LogTargets, ChangesToTheListDuringAWriteCostNoOtherTargetItsRecord) {
  {
    // A target leaving by itself.
    ActingTarget leaver;
    ActingTarget next;
    leaver.setAction([&leaver] { leaver.unregister(); });
    leaver.registerTarget();
    next.registerTarget();
    logMessage(kLogLevelWarn, 0, 0, "first");
    logMessage(kLogLevelWarn, 0, 0, "second");
    EXPECT_EQ(leaver.writes, 1);
    EXPECT_EQ(next.writes, 2);
  }
  {
    // A target removing an earlier one.
    ActingTarget earlier;
    ActingTarget remover;
    ActingTarget last;
    remover.setAction([&earlier] { earlier.unregister(); });
    earlier.registerTarget();
    remover.registerTarget();
    last.registerTarget();
    logMessage(kLogLevelWarn, 0, 0, "one");
    EXPECT_EQ(earlier.writes, 1);
    EXPECT_EQ(remover.writes, 1);
    EXPECT_EQ(last.writes, 1);
  }
  {
    // A target removing and destroying a later one: that one is not called (under ASan a call
    // would show as a use after free).
    auto* doomed = new ActingTarget();
    ActingTarget killer([&doomed] {
      delete doomed;
      doomed = nullptr;
    });
    ActingTarget after;
    killer.registerTarget();
    doomed->registerTarget();
    after.registerTarget();
    logMessage(kLogLevelWarn, 0, 0, "one");
    EXPECT_EQ(doomed, nullptr);
    EXPECT_EQ(killer.writes, 1);
    EXPECT_EQ(after.writes, 1);
  }
  {
    // A target re-registering itself (as configure does) goes to the end of the list, but this
    // record has already reached it; the target after it still gets the record.
    ActingTarget reconfigured;
    ActingTarget next;
    int rounds = 0;
    reconfigured.setAction([&] {
      if (++rounds > 3) return;  // bounded, so a faulty log shows a count rather than a hang
      reconfigured.configure(LogTargetConfig{kLogLevelOkay, 0, 0, kDefaultLogPattern});
    });
    reconfigured.registerTarget();
    next.registerTarget();
    logMessage(kLogLevelWarn, 0, 0, "once");
    EXPECT_EQ(reconfigured.writes, 1);
    EXPECT_EQ(next.writes, 1);
    // A target added during a write waits for the next record.
    ActingTarget latecomer;
    next.setAction([&latecomer] { latecomer.registerTarget(); });
    logMessage(kLogLevelWarn, 0, 0, "twice");
    EXPECT_EQ(latecomer.writes, 0);
    logMessage(kLogLevelWarn, 0, 0, "thrice");
    EXPECT_EQ(latecomer.writes, 1);
  }
}

}  // namespace
}  // namespace tev
