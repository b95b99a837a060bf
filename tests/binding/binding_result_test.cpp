#include "binding/binding_result.h"

#include <gtest/gtest.h>

#include "platform/allocation_counters.h"

namespace tev {
namespace {

TEST(BindingResult, FreshResultSucceedsWithAnEmptyValue) {
  BindingResult result;
  EXPECT_TRUE(result.ok());
  EXPECT_TRUE(result.value().isEmpty());
  EXPECT_EQ(result.error(), "");
}

TEST(BindingResult, FailureIsTheErrorStructureAlone) {
  BindingResult result;
  result.value().member("partial").setSigned(1);
  result.fail("Broken input.");
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error(), "Broken input.");
  ASSERT_TRUE(result.value().isStructure());
  EXPECT_EQ(result.value().size(), 1u);
  EXPECT_EQ(result.value().getMember("error").getString(), "Broken input.");
}

TEST(BindingResult, ErrorTextIsEmptyUnlessTheErrorMemberIsAString) {
  BindingResult result = BindingResult::failure("first");
  result.value().member("error").setSigned(3);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error(), "");
  result.value().setString("not a structure");
  EXPECT_EQ(result.error(), "");
}

TEST(BindingResult, AnOkResultReportsNoErrorWhateverItHolds) {
  BindingResult result;
  result.value().member("error").setString("looks like one");
  EXPECT_EQ(result.error(), "");
}

TEST(BindingResult, ResetStartsOver) {
  BindingResult result = BindingResult::failure("gone");
  result.reset();
  EXPECT_TRUE(result.ok());
  EXPECT_TRUE(result.value().isEmpty());
}

TEST(BindingResult, StepsThatCheckFirstKeepTheFirstError) {
  BindingResult result;
  auto step = [&result](const char* message) {
    if (!result.ok()) return;
    result.fail(message);
  };
  step("first");
  step("second");
  EXPECT_EQ(result.error(), "first");
  result.fail("explicit replacement");
  EXPECT_EQ(result.error(), "explicit replacement");
}

void buildRecords(BindingProperty& tree) {
  for (int i = 0; i < 100; ++i) {
    BindingProperty& record = tree.append();
    record.member("name").setString("a text long enough for a heap buffer of its own");
    record.member("bytes").setBlob("abc", 3);
    for (int j = 0; j < 8; ++j) record.member("list").append().setSigned(i + j);
  }
}

TEST(BindingValueMemory, TreesBalanceTheProcessCounters) {
  {
    // The pool's own tables grow once and stay; let that happen before measuring.
    BindingProperty warmUp;
    buildRecords(warmUp);
  }
  const AllocationSnapshot before = snapshot(processAllocationCounters());
  {
    BindingProperty tree;
    buildRecords(tree);
  }
  const AllocationSnapshot after = snapshot(processAllocationCounters());
  // Element storage, blob bytes, long texts and the arena itself all went through the hooks.
  EXPECT_GE(after.allocations - before.allocations, 200u);
  EXPECT_EQ(after.bytesInUse(), before.bytesInUse());
  EXPECT_EQ(after.liveBlocks(), before.liveBlocks());
}

}  // namespace
}  // namespace tev
