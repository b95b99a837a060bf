#include "platform/thread_with_stack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tev::platform {
namespace {

TEST(RunWithStack, RunsOnAnotherThreadAndJoins) {
  std::atomic<bool> ran{false};
  std::thread::id inside;
  ASSERT_TRUE(runWithStack(256 * 1024, [&] {
    inside = std::this_thread::get_id();
    ran = true;
  }));
  EXPECT_TRUE(ran);
  EXPECT_NE(inside, std::this_thread::get_id());
}

int depth(int n) {
  volatile char frame[512];
  frame[0] = static_cast<char>(n);
  return n == 0 ? frame[0] : depth(n - 1) + 1;
}

TEST(RunWithStack, GivesTheRequestedStack) {
  // About 1 MiB of frames fits into a 4 MiB stack on both targets.
  int result = 0;
  ASSERT_TRUE(runWithStack(4 * 1024 * 1024, [&] { result = depth(2000); }));
  EXPECT_EQ(result, 2000);
}

}  // namespace
}  // namespace tev::platform
