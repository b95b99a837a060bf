// Initialize routes the process-wide log to the host. This program publishes the log table
// before any plugin is loaded, so it reads the same log that the plugin writes to.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "logging/log_api.h"
#include "logging/log_record.h"
#include "tests/plugin/host_test_support.h"

namespace plugintest {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

// Before main: this program's log table is the one every module then shares.
const tev::LogApi& gLog = tev::logApi();

void logThroughPlugin(TestHost& host, int level, const std::string& text) {
  post(host, "log", R"({"level":)" + std::to_string(level) + R"(,"text":")" + text + "\"}");
}

TEST(LogRouting, InitializeReplacesTheBuiltInTargetsByTheHostsLog) {
  auto host = loadTestPlugin();
  // Loading holds a reference on the log; the built-in targets are in place.
  EXPECT_NE(gLog.findTarget("StdErrLogTarget"), nullptr);
  EXPECT_EQ(gLog.findTarget("PluginLogTarget"), nullptr);
  ASSERT_TRUE(host->initialize());
  EXPECT_NE(gLog.findTarget("PluginLogTarget"), nullptr);
  EXPECT_EQ(gLog.findTarget("StdErrLogTarget"), nullptr);
  EXPECT_EQ(gLog.findTarget("DebuggerConsoleLogTarget"), nullptr);
  EXPECT_EQ(gLog.findTarget("StdOutLogTarget"), nullptr);
  EXPECT_EQ(gLog.getLevel(), tev::kLogLevelOkay);
  EXPECT_EQ(gLog.getSuppressedGroups(), tev::kLogGroupXtr);

  host->logLines.clear();
  logThroughPlugin(*host, 0, "level zero passes now");
  logThroughPlugin(*host, 2, "an error");
  // The host gets the bare message: no line pattern is applied.
  EXPECT_THAT(host->logLines,
              ElementsAre(::testing::AllOf(Field(&LogLine::level, 0),
                                           Field(&LogLine::message, "level zero passes now")),
                          ::testing::AllOf(Field(&LogLine::level, 2),
                                           Field(&LogLine::message, "an error"))));
  host->shutdown();
  EXPECT_EQ(gLog.findTarget("PluginLogTarget"), nullptr) << "the target leaves with the plugin";
}

TEST(LogRouting, ASecondInstanceLeavesTheFirstInstancesTargetAlone) {
  auto first = loadTestPlugin();
  ASSERT_TRUE(first->initialize());
  auto second = loadTestPlugin();
  ASSERT_TRUE(second->initialize());
  first->logLines.clear();
  second->logLines.clear();
  logThroughPlugin(*second, 1, "from the second instance");
  // One target in the process, bound to the first host.
  EXPECT_THAT(first->logLines, ElementsAre(Field(&LogLine::message, "from the second instance")));
  EXPECT_THAT(second->logLines, IsEmpty());
  second->shutdown();
  EXPECT_NE(gLog.findTarget("PluginLogTarget"), nullptr);
  first->shutdown();
}

}  // namespace
}  // namespace plugintest
