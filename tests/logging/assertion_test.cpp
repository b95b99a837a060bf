#include "logging/assertion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "logging/log_api.h"
#include "tests/logging/log_test_support.h"

namespace tev {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using testing_support::CaptureTarget;
using testing_support::LogTest;

std::string compose(const char* expression, const char* description, const char* file,
                    std::int32_t line, const char* function) {
  String out = "stale";
  composeAssertion(out, expression, description, file, line, function);
  return std::string(out.data(), out.size());
}

TEST(ComposeAssertion, BuildsTheFixedText) {
  EXPECT_EQ(compose(nullptr, nullptr, nullptr, 0, nullptr), "Assertion failed!\n\n");
  EXPECT_EQ(compose("", "", "", 0, ""), "Assertion failed!\n\n");
  EXPECT_EQ(compose("ALE-EECF0606", nullptr, nullptr, 0, nullptr),
            "Assertion failed!\n\nExpression: ALE-EECF0606");
  EXPECT_EQ(compose("a < b", "too small", "src/x.cpp", 42, "check"),
            "Assertion failed!\n\n"
            "File: src/x.cpp\n"
            "Line: 42\n\n"
            "Function: check\n\n"
            "Expression: a < b\n\n"
            "Description: too small");
}

TEST(ComposeAssertion, WritesNegativeLines) {
  EXPECT_EQ(compose(nullptr, nullptr, nullptr, -12, nullptr), "Assertion failed!\n\nLine: -12\n\n");
}

TEST(ComposeAssertion, ADescriptionWithoutExpressionStillOpensWithTwoLineFeeds) {
  EXPECT_EQ(compose(nullptr, "why", nullptr, 0, nullptr),
            "Assertion failed!\n\n\n\nDescription: why");
  EXPECT_EQ(compose("", "why", "f.cpp", 0, nullptr),
            "Assertion failed!\n\nFile: f.cpp\n\n\nDescription: why");
}

using ReportAssertion = LogTest;

TEST_F(ReportAssertion, LogsAnErrorOfTheDebugGroup) {
  CaptureTarget target;
  target.registerTarget();
  reportAssertion("x != 0", nullptr, "a.cpp", 7, nullptr);
  const auto records = target.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, kLogLevelError);
  EXPECT_EQ(records[0].groupMask, kLogGroupDbg);
  EXPECT_EQ(records[0].message, "Assertion failed!\n\nFile: a.cpp\nLine: 7\n\nExpression: x != 0");
}

TEST_F(ReportAssertion, IsNotWrittenWhenTheLogDropsErrors) {
  CaptureTarget target;
  target.registerTarget();
  api().setLevel(kLogLevelAlways);
  reportAssertion("dropped", nullptr, nullptr, 0, nullptr);
  api().setLevel(kLogLevelWarn);
  api().mute();
  reportAssertion("muted", nullptr, nullptr, 0, nullptr);
  api().unmute();
  EXPECT_THAT(target.records(), IsEmpty());
}

TEST_F(ReportAssertion, CutsLongReportsAtTheMessageLimit) {
  LogTargetInterface* stdErr = api().stdErrTarget();
  LogTargetInterface* debugger = api().debuggerTarget();
  stdErr->unregisterTarget(stdErr);
  debugger->unregisterTarget(debugger);
  CaptureTarget target;
  target.registerTarget();
  const std::string description(6000, 'd');
  reportAssertion("e", description.c_str(), nullptr, 0, nullptr);
  const auto records = target.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message.size(), kLogMessageLimit);
}

TEST(FatalStopDeathTest, ReportsTheCodeAndEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(reportFatalError("ALE-EECF0606"),
               HasSubstr(":  ERROR| Assertion failed!\n\nExpression: ALE-EECF0606\n"));
}

TEST(FatalStopDeathTest, StillEndsTheProcessWhenTheReportIsDropped) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        logApi().mute();
        reportFatalError("ALE-EECF0606");
      },
      Not(HasSubstr("Assertion failed!")));
  EXPECT_DEATH(
      {
        logApi().setLevel(kLogLevelAlways);
        reportFatalError("ALE-EECF0606");
      },
      Not(HasSubstr("Assertion failed!")));
}

}  // namespace
}  // namespace tev
