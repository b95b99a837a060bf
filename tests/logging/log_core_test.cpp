#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "logging/internal/log_core.h"
#include "logging/log_api.h"
#include "logging/log_message.h"
#include "logging/module_log_setup.h"
#include "platform/allocator_hooks.h"
#include "platform/current_thread.h"
#include "tests/logging/log_test_support.h"

namespace tev {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing_support::CaptureTarget;
using testing_support::LogTest;

// What the plugin does at load: the providers and the group "LOC".
const ModuleLogSetup gModuleSetup;

std::string renderWith(const char* pattern, const LogRecord& record, std::size_t size = 4096) {
  std::string buffer(size, '\xff');
  const std::size_t length = logApi().formatLine(&record, pattern, buffer.data(), size);
  EXPECT_EQ(buffer[length], '\0');
  return buffer.substr(0, length);
}

LogRecord sampleRecord(const char* message) {
  return LogRecord{{2024, 1, 2, 3, 4, 5, 6}, kLogLevelError, kLogGroupNet, message};
}

std::string groupText(std::uint64_t mask, std::size_t size = 300) {
  std::string buffer(size, '\xff');
  const std::size_t length = logApi().groupNames(mask, buffer.data(), size);
  return buffer.substr(0, length);
}

using LogFilters = LogTest;

TEST_F(LogFilters, DefaultsDropLevelZeroAndTheXtrGroup) {
  CaptureTarget target;
  target.registerTarget();
  logMessage(kLogLevelOkay, 0, 0, "okay");
  logMessage(kLogLevelWarn, static_cast<std::uint32_t>(kLogGroupXtr), 0, "extra");
  logMessage(kLogLevelWarn, static_cast<std::uint32_t>(kLogGroupXtr | kLogGroupDbg), 0, "both");
  logMessage(kLogLevelWarn, static_cast<std::uint32_t>(kLogGroupNet), 0, "net");
  EXPECT_THAT(target.messages(), ElementsAre("net"));
  EXPECT_EQ(api().getLevel(), kLogLevelWarn);
  EXPECT_EQ(api().getSuppressedGroups(), kLogGroupXtr);
}

TEST_F(LogFilters, MaskZeroReachesEveryTargetItsLevelAllows) {
  CaptureTarget includesNet("net");
  includesNet.setMasks(kLogGroupNet, 0);
  CaptureTarget excludesEverything("none");
  excludesEverything.setMasks(0, ~std::uint64_t{0});
  CaptureTarget errorsOnly("errors");
  errorsOnly.setLevel(kLogLevelError);
  for (CaptureTarget* target : {&includesNet, &excludesEverything, &errorsOnly}) {
    target->registerTarget();
  }
  logMessage(kLogLevelWarn, 0, 0, "warning");
  logMessage(kLogLevelError, 0, 0, "error");
  EXPECT_THAT(includesNet.messages(), ElementsAre("warning", "error"));
  EXPECT_THAT(excludesEverything.messages(), ElementsAre("warning", "error"));
  EXPECT_THAT(errorsOnly.messages(), ElementsAre("error"));
}

TEST_F(LogFilters, IncludeAndExcludeMasksSelectGroups) {
  CaptureTarget includesNet("include");
  includesNet.setMasks(kLogGroupNet | kLogGroupMem, 0);
  CaptureTarget excludesDbg("exclude");
  excludesDbg.setMasks(0, kLogGroupDbg);
  includesNet.registerTarget();
  excludesDbg.registerTarget();
  const auto send = [](std::uint64_t mask, const char* text) {
    logMessage(kLogLevelWarn, static_cast<std::uint32_t>(mask),
               static_cast<std::uint32_t>(mask >> 32), "%s", text);
  };
  send(kLogGroupNet, "net");
  send(kLogGroupDbg, "dbg");
  send(kLogGroupNet | kLogGroupDbg, "net+dbg");
  send(std::uint64_t{1} << 40, "high");
  EXPECT_THAT(includesNet.messages(), ElementsAre("net", "net+dbg"));
  EXPECT_THAT(excludesDbg.messages(), ElementsAre("net", "high"));
}

TEST_F(LogFilters, SettingsChangeWhatPasses) {
  CaptureTarget target;
  target.registerTarget();
  api().setLevel(kLogLevelError);
  logMessage(kLogLevelWarn, 0, 0, "dropped by level");
  api().setLevel(kLogLevelOkay);
  logMessage(kLogLevelOkay, 0, 0, "okay");
  api().setSuppressedGroups(0, 1);  // bit 32
  EXPECT_EQ(api().getSuppressedGroups(), std::uint64_t{1} << 32);
  logMessage(kLogLevelWarn, 0, 1, "dropped by group");
  logMessage(kLogLevelWarn, static_cast<std::uint32_t>(kLogGroupXtr), 0, "xtr now passes");
  api().mute();
  logMessage(kLogLevelAlways, 0, 0, "dropped while muted");
  api().unmute();
  logMessage(kLogLevelAlways, 0, 0, "after unmute");
  EXPECT_THAT(target.messages(), ElementsAre("okay", "xtr now passes", "after unmute"));
}

TEST_F(LogFilters, CountsAcceptedWarningsAndErrors) {
  logMessage(kLogLevelWarn, static_cast<std::uint32_t>(kLogGroupPrf), 0, "w1");
  logMessage(kLogLevelWarn, static_cast<std::uint32_t>(kLogGroupPrf), 0, "w2");
  logMessage(kLogLevelError, static_cast<std::uint32_t>(kLogGroupPrf), 0, "e1");
  logMessage(kLogLevelAlways, static_cast<std::uint32_t>(kLogGroupPrf), 0, "a1");
  logMessage(kLogLevelOkay, static_cast<std::uint32_t>(kLogGroupPrf), 0, "dropped");
  logMessage(kLogLevelError, static_cast<std::uint32_t>(kLogGroupXtr), 0, "suppressed");
  const log_internal::LoggerSnapshot snapshot = log_internal::loggerSnapshot();
  EXPECT_EQ(snapshot.warnings, 2u);
  EXPECT_EQ(snapshot.errors, 1u);
}

TEST_F(LogFilters, FormatsPrintfStyleAndCutsAt4095) {
  CaptureTarget target;
  target.registerTarget();
  const auto tst = static_cast<std::uint32_t>(kLogGroupTst);  // not for the built-in targets
  logMessage(kLogLevelWarn, tst, 0, "%s=%d %05.1f %%", "n", -3, 2.25);
  const std::string longText(5000, 'y');
  logMessage(kLogLevelWarn, tst, 0, "%s", longText.c_str());
  logMessage(kLogLevelWarn, tst, 0, nullptr);
  const auto messages = target.messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0], "n=-3 002.2 %");
  EXPECT_EQ(messages[1], std::string(4095, 'y'));
  EXPECT_EQ(messages[2], "");
}

using LogLifecycle = LogTest;

TEST_F(LogLifecycle, TheLastReleaseUnregistersTargetsLastFirst) {
  std::vector<std::string> order;
  class OrderTarget final : public LogTarget {
   public:
    OrderTarget(const char* name, std::vector<std::string>& order) : name_(name), order_(order) {}
    ~OrderTarget() override { detach(); }
    const char* name() const override { return name_; }
    bool write(const LogRecord&) override { return true; }
    void unregister() override {
      if (isRegistered()) order_.push_back(name_);
      LogTarget::unregister();
    }

   private:
    const char* name_;
    std::vector<std::string>& order_;
  };
  OrderTarget first("first", order);
  OrderTarget second("second", order);
  api().addRef();
  first.registerTarget();
  second.registerTarget();
  EXPECT_EQ(api().release(), 1);
  EXPECT_TRUE(log_internal::loggerSnapshot().exists);
  EXPECT_EQ(api().release(), 0);
  EXPECT_FALSE(log_internal::loggerSnapshot().exists);
  EXPECT_THAT(order, ElementsAre("second", "first"));
  EXPECT_FALSE(first.isRegistered());
  EXPECT_FALSE(second.isRegistered());
  // A release without a reference changes nothing; the fixture's own release finds none left.
  EXPECT_EQ(api().release(), 0);
  api().addRef();
}

TEST_F(LogLifecycle, AMessageAfterTheLastReleaseCreatesANewLog) {
  api().release();
  ASSERT_FALSE(log_internal::loggerSnapshot().exists);
  logMessage(kLogLevelWarn, static_cast<std::uint32_t>(kLogGroupTst), 0, "after");
  const log_internal::LoggerSnapshot snapshot = log_internal::loggerSnapshot();
  EXPECT_TRUE(snapshot.exists);
  EXPECT_EQ(snapshot.warnings, 1u);
  api().addRef();
}

TEST_F(LogLifecycle, ATargetRegisteredBeforeAnyLogIsKept) {
  api().release();
  ASSERT_FALSE(log_internal::loggerSnapshot().exists);
  CaptureTarget early("early");
  early.registerTarget();
  EXPECT_TRUE(log_internal::loggerSnapshot().exists);
  api().addRef();
  logMessage(kLogLevelWarn, static_cast<std::uint32_t>(kLogGroupTst), 0, "seen");
  EXPECT_THAT(early.messages(), ElementsAre("seen"));
}

TEST_F(LogLifecycle, TheSecondaryFlagIsKeptButNotConsulted) {
  CaptureTarget target;
  target.registerTarget();
  api().setSecondaryFlag();
  EXPECT_TRUE(log_internal::loggerSnapshot().secondaryFlag);
  logMessage(kLogLevelWarn, 0, 0, "still logged");
  api().clearSecondaryFlag();
  EXPECT_FALSE(log_internal::loggerSnapshot().secondaryFlag);
  EXPECT_THAT(target.messages(), ElementsAre("still logged"));
}

TEST(LogWithoutMemory, DropsMessagesAndComesBackWhenMemoryDoes) {
  const LogApi& api = logApi();
  api.addRef();
  api.release();
  ASSERT_FALSE(log_internal::loggerSnapshot().exists);
  AllocatorHooks& hooks = allocatorHooks();
  const AllocatorHooks saved = hooks;
  hooks.allocate = [](std::size_t, void*) -> void* { return nullptr; };
  logMessage(kLogLevelError, 0, 0, "lost");
  EXPECT_EQ(api.addRef(), 1);
  EXPECT_FALSE(log_internal::loggerSnapshot().exists);
  EXPECT_EQ(api.stdErrTarget(), nullptr);
  EXPECT_EQ(api.release(), 0);
  hooks = saved;
  const LogReference reference;
  EXPECT_TRUE(log_internal::loggerSnapshot().exists);
}

TEST(LogGroups, LocTakesSlotEightAtLoad) {
  EXPECT_EQ(gModuleSetup.locGroup(), std::uint64_t{1} << 8);
  std::uint64_t stored = 0;
  EXPECT_EQ(logApi().groupFromName("LOC", &stored), std::uint64_t{1} << 8);
  EXPECT_EQ(stored, std::uint64_t{1} << 8);
}

TEST(LogGroups, OnlyTheFirstThreeCharactersCount) {
  EXPECT_EQ(logApi().groupFromName("LOCAL", nullptr), std::uint64_t{1} << 8);
  EXPECT_EQ(logApi().groupFromName("DBGX", nullptr), kLogGroupDbg);
  EXPECT_EQ(logApi().groupFromName("NETWORK", nullptr), kLogGroupNet);
  const std::uint64_t fresh = logApi().groupFromName("QQQ1", nullptr);
  EXPECT_GT(fresh, std::uint64_t{1} << 8);
  EXPECT_EQ(logApi().groupFromName("QQQ2", nullptr), fresh);
  EXPECT_EQ(groupText(fresh), "QQQ");
  // Shorter names are their own keys.
  const std::uint64_t shortName = logApi().groupFromName("Q", nullptr);
  EXPECT_NE(shortName, fresh);
  EXPECT_EQ(logApi().groupFromName("Q", nullptr), shortName);
  EXPECT_EQ(groupText(shortName), "Q");
  EXPECT_EQ(logApi().groupFromName(nullptr, nullptr), 0u);
}

TEST(LogGroups, NamesJoinLowestBitFirst) {
  EXPECT_EQ(groupText(kLogGroupDbg | kLogGroupGen), "DBG;GEN");
  EXPECT_EQ(groupText(kLogGroupTst | kLogGroupDbg), "DBG;TST");
  EXPECT_EQ(groupText(0), "");
  EXPECT_EQ(groupText(std::uint64_t{1} << 63), "???");
  EXPECT_EQ(groupText(0xff), "DBG;GEN;XTR;PRF;MEM;DSK;NET;TST");
  // Output stops when the buffer is full, and stays terminated.
  EXPECT_EQ(groupText(kLogGroupDbg | kLogGroupGen, 6), "DBG;G");
  EXPECT_EQ(groupText(kLogGroupDbg | kLogGroupGen, 4), "DBG");
  EXPECT_EQ(groupText(kLogGroupDbg, 1), "");
}

// Filling the table changes the process, so it runs in a child of its own.
TEST(LogGroupsDeathTest, ASixtyFifthNameGetsNoGroup) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto fillTable = [] {
    std::uint64_t taken = 0x1ff;  // the eight first groups and "LOC"
    char name[4] = {'Z', 'A', 'A', '\0'};
    for (int i = 0; i < 70; ++i) {
      name[1] = static_cast<char>('A' + i / 26);
      name[2] = static_cast<char>('A' + i % 26);
      const std::uint64_t bit = logApi().groupFromName(name, nullptr);
      if (bit == 0) {
        // Full: every slot was handed out once, and known names are still found.
        const bool full = taken == ~std::uint64_t{0} &&
                          logApi().groupFromName("ZAA", nullptr) == std::uint64_t{1} << 9 &&
                          logApi().groupFromName("DBG", nullptr) == kLogGroupDbg &&
                          logApi().groupFromName("YYY", nullptr) == 0;
        std::exit(full ? 0 : 2);
      }
      if ((taken & bit) != 0) std::exit(3);
      taken |= bit;
    }
    std::exit(1);
  };
  EXPECT_EXIT(fillTable(), ::testing::ExitedWithCode(0), "");
}

TEST(LogFormat, RendersTheHostPattern) {
  EXPECT_EQ(renderWith("#D| #L| #G| #M", sampleRecord("x")),
            "2024-01-02T03:04:05.006|  ERROR| NET| x\n");
}

TEST(LogFormat, NeverDoublesTheLineFeed) {
  EXPECT_EQ(renderWith("#M", sampleRecord("x\n")), "x\n");
  EXPECT_EQ(renderWith("#M", sampleRecord("")), "\n");
  EXPECT_EQ(renderWith("#M\n", sampleRecord("x")), "x\n");
  EXPECT_EQ(renderWith("", sampleRecord("x")), "\n");
}

TEST(LogFormat, ReplacesEveryCode) {
  const LogReference reference;  // the module name is read when the log is created
  const LogRecord record = sampleRecord("m");
  EXPECT_EQ(renderWith("#E", record), std::string(logApi().moduleName()) + "\n");
  EXPECT_THAT(logApi().moduleName(), ::testing::StartsWith("log_test"));
  char thread[32];
  std::snprintf(thread, sizeof thread, "%p",
                reinterpret_cast<void*>(static_cast<std::uintptr_t>(platform::currentThreadId())));
  EXPECT_EQ(renderWith("#T", record), std::string(thread) + "\n");
  const std::string elapsed = renderWith("#H", record);  // "%06d.%03d"
  ASSERT_EQ(elapsed.size(), 11u) << elapsed;
  for (std::size_t i : {0, 1, 2, 3, 4, 5, 7, 8, 9})
    EXPECT_TRUE(std::isdigit(elapsed[i])) << elapsed;
  EXPECT_EQ(elapsed.substr(6, 1), ".");
  EXPECT_EQ(renderWith("#G", LogRecord{{}, 0, kLogGroupDbg | kLogGroupGen, ""}), "DBG;GEN\n");
  EXPECT_EQ(renderWith("#L", LogRecord{{}, 3, 0, ""}), "ALWAYS\n");
  EXPECT_EQ(renderWith("## #x #", record), "# x \n");
  EXPECT_EQ(renderWith("[#M]#", record), "[m]\n");
}

TEST(LogFormat, CutsToTheBufferKeepingTheLineEnd) {
  const LogRecord record = sampleRecord("abcdefghij");
  EXPECT_EQ(renderWith("#M", record, 8), "abcdef\n");
  EXPECT_EQ(renderWith("#D", record, 12), "2024-01-02\n");
  EXPECT_EQ(renderWith("#M", record, 2), "\n");
  std::string one(1, 'z');
  EXPECT_EQ(logApi().formatLine(&record, "#M", one.data(), 1), 0u);
  EXPECT_EQ(one[0], '\0');
}

TEST(LogFormat, LevelWordsAreSixCharacters) {
  EXPECT_STREQ(logApi().levelName(0), "  OKAY");
  EXPECT_STREQ(logApi().levelName(1), "  WARN");
  EXPECT_STREQ(logApi().levelName(2), " ERROR");
  EXPECT_STREQ(logApi().levelName(3), "ALWAYS");
  EXPECT_EQ(std::string(logApi().levelName(9)).size(), 6u);
  EXPECT_EQ(std::string(logApi().levelName(-1)).size(), 6u);
}

TEST(LogFormat, TimestampsHaveTwoForms) {
  const LogTime time{2031, 12, 9, 23, 8, 7, 45};
  char buffer[64];
  EXPECT_EQ(logApi().formatTimestamp(&time, buffer, sizeof buffer), 23u);
  EXPECT_STREQ(buffer, "2031-12-09T23:08:07.045");
  EXPECT_EQ(logApi().formatFileTimestamp(&time, buffer, sizeof buffer), 19u);
  EXPECT_STREQ(buffer, "2031-12-09T23-08-07");
  LogTime now{};
  logApi().localTime(&now);
  EXPECT_GE(now.year, 2024);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.millisecond >= 0 && now.millisecond <= 999);
}

}  // namespace
}  // namespace tev
