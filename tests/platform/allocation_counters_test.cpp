#include "platform/allocation_counters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "platform/allocator.h"
#include "platform/allocator_hooks.h"

namespace tev {
namespace {

TEST(AllocationCounters, AllocateAndFreeBalance) {
  AllocationCounters c;
  void* a = countingAllocate(100, &c);
  void* b = countingAllocate(10, &c);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  const AllocationSnapshot mid = snapshot(c);
  EXPECT_EQ(mid.allocations, 2u);
  EXPECT_GE(mid.bytesAllocated, 110u);
  EXPECT_EQ(mid.peakBytesInUse, mid.bytesAllocated);
  EXPECT_EQ(mid.liveBlocksAtPeak, 2u);
  countingFree(a, &c);
  countingFree(b, &c);
  countingFree(nullptr, &c);  // changes nothing
  const AllocationSnapshot end = snapshot(c);
  EXPECT_EQ(end.frees, 2u);
  EXPECT_EQ(end.bytesFreed, end.bytesAllocated);
  EXPECT_EQ(end.peakBytesInUse, mid.peakBytesInUse);  // the peak stays at its maximum
}

TEST(AllocationCounters, FailedAllocationCountsOneOfZeroBytes) {
  AllocationCounters c;
  void* block = countingAllocate(static_cast<std::size_t>(-1) / 2, &c);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(c.allocations.load(), 1u);
  EXPECT_EQ(c.bytesAllocated.load(), 0u);
}

TEST(AllocationCounters, ReallocateMovesBytesBetweenCounters) {
  AllocationCounters c;
  void* block = countingReallocate(nullptr, 16, &c);  // an allocation, and no free
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(c.frees.load(), 0u);
  EXPECT_EQ(snapshot(c).liveBlocks(), 1u);
  EXPECT_EQ(snapshot(c).liveBlocksAtPeak, 1u);
  block = countingReallocate(block, 4000, &c);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(snapshot(c).liveBlocks(), 1u);
  countingFree(block, &c);
  const AllocationSnapshot s = snapshot(c);
  EXPECT_EQ(s.allocations, 2u);
  EXPECT_EQ(s.frees, 2u);
  EXPECT_EQ(s.liveBlocks(), 0u);
  EXPECT_EQ(s.bytesAllocated, s.bytesFreed);
  EXPECT_GE(s.peakBytesInUse, 4000u);
  EXPECT_EQ(s.liveBlocksAtPeak, 1u);
}

TEST(AllocationCounters, FailedReallocateKeepsTheOldBlockCounted) {
  AllocationCounters c;
  void* block = countingAllocate(32, &c);
  void* moved = countingReallocate(block, static_cast<std::size_t>(-1) / 2, &c);
  EXPECT_EQ(moved, nullptr);
  EXPECT_EQ(c.frees.load(), 0u);  // the old block is still alive
  EXPECT_EQ(c.allocations.load(), 2u);
  countingFree(block, &c);
  EXPECT_EQ(c.bytesFreed.load(), c.bytesAllocated.load());
}

TEST(AllocationCounters, DuplicateTextCountsTheCopy) {
  AllocationCounters c;
  char* copy = countingDuplicateText("hello", &c);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "hello");
  EXPECT_EQ(c.allocations.load(), 1u);
  EXPECT_GE(c.bytesAllocated.load(), 6u);
  countingFree(copy, &c);
  EXPECT_EQ(c.bytesFreed.load(), c.bytesAllocated.load());
}

TEST(AllocationCounters, FailedDuplicationCountsOneOfZeroBytes) {
  AllocationCounters c;
  EXPECT_EQ(countingDuplicateText(nullptr, &c), nullptr);
  EXPECT_EQ(c.allocations.load(), 1u);
  EXPECT_EQ(c.bytesAllocated.load(), 0u);
}

TEST(AllocationCounters, ConcurrentUpdatesLoseNothing) {
  AllocationCounters c;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&c] {
      for (int i = 0; i < 2000; ++i) countingFree(countingAllocate(24, &c), &c);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(c.allocations.load(), 8000u);
  EXPECT_EQ(c.frees.load(), 8000u);
  EXPECT_EQ(c.bytesAllocated.load(), c.bytesFreed.load());
}

TEST(AllocatorHooks, ContainersAndObjectsGoThroughTheProcessCounters) {
  const AllocationSnapshot before = snapshot(processAllocationCounters());
  {
    Vector<int> numbers(100, 7);
    String text(200, 'x');
    auto object = makeUnique<std::uint64_t>(5u);
    EXPECT_EQ(*object, 5u);
  }
  const AllocationSnapshot after = snapshot(processAllocationCounters());
  EXPECT_GE(after.allocations - before.allocations, 3u);
  EXPECT_EQ(after.bytesInUse(), before.bytesInUse());
}

TEST(AllocatorHooks, NullEntriesFallBackToTheRuntime) {
  AllocatorHooks& hooks = allocatorHooks();
  const AllocatorHooks saved = hooks;
  hooks = AllocatorHooks{};
  void* block = hookedAllocate(8);
  EXPECT_NE(block, nullptr);
  block = hookedReallocate(block, 64);
  char* text = hookedDuplicateText("abc");
  EXPECT_STREQ(text, "abc");
  hookedFree(text);
  hookedFree(block);
  hooks = saved;
}

}  // namespace
}  // namespace tev
