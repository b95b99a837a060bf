// The allocation counters under many threads at once: the peak must be a value the bytes in use
// really had, whatever the interleaving.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/allocation_counters.h"

namespace tev {
namespace {

// More threads than the machine has cores, so that threads are preempted between any two steps
// of an update.
constexpr int kThreads = 8;
constexpr int kRounds = 8;
constexpr int kPairsPerThread = 10000;
constexpr std::size_t kBlock = 400;

TEST(AllocationCountersConcurrency, ThePeakNeverExceedsWhatWasLiveAtOnce) {
  for (int round = 0; round < kRounds; ++round) {
    AllocationCounters c;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&c, t] {
        for (int i = 0; i < kPairsPerThread; ++i) {
          // Every other pair goes through reallocation, which moves bytes between both totals.
          if ((i + t) % 2 == 0) {
            countingFree(countingAllocate(kBlock, &c), &c);
          } else {
            void* block = countingAllocate(kBlock / 2, &c);
            countingFree(countingReallocate(block, kBlock, &c), &c);
          }
        }
      });
    }
    for (auto& thread : threads) thread.join();
    const AllocationSnapshot s = snapshot(c);
    ASSERT_EQ(s.bytesAllocated, s.bytesFreed) << "round " << round;
    ASSERT_EQ(s.allocations, s.frees) << "round " << round;
    // Each thread holds at most one block at a time (the allocator may round its size up).
    const std::uint64_t largestBlock = 2 * kBlock;
    ASSERT_LE(s.peakBytesInUse, kThreads * largestBlock) << "round " << round;
    ASSERT_LE(s.liveBlocksAtPeak, static_cast<std::uint64_t>(kThreads)) << "round " << round;
    ASSERT_GE(s.peakBytesInUse, kBlock) << "round " << round;
    ASSERT_GE(s.liveBlocksAtPeak, 1u) << "round " << round;
  }
}

// One thread is held in the middle of its peak update while another allocates and frees, so the
// interleaving that the stress test above only meets by chance happens every time.
std::atomic<bool> gHoldNextUpdate{false};
std::atomic<bool> gHeld{false};
std::atomic<bool> gOvertaken{false};

void holdUntilOvertaken(AllocationCounters&) {
  if (!gHoldNextUpdate.exchange(false)) return;
  gHeld.store(true);
  while (!gOvertaken.load()) std::this_thread::yield();
}

TEST(AllocationCountersConcurrency, AThreadOvertakenDuringItsPeakUpdateStoresNoWrappedPeak) {
  AllocationCounters c;
  c.peakUpdateHookForTesting = &holdUntilOvertaken;
  void* held = countingAllocate(kBlock, &c);
  gHoldNextUpdate.store(true);
  std::thread overtaker([&c] {
    while (!gHeld.load()) std::this_thread::yield();
    for (int i = 0; i < 8; ++i) countingFree(countingAllocate(kBlock, &c), &c);
    gOvertaken.store(true);
  });
  void* late = countingAllocate(kBlock, &c);
  overtaker.join();
  countingFree(late, &c);
  countingFree(held, &c);
  const AllocationSnapshot s = snapshot(c);
  EXPECT_LE(s.peakBytesInUse, s.bytesAllocated);
  EXPECT_LE(s.liveBlocksAtPeak, s.allocations);
  // At most the held block, the late one and one of the overtaker's were live at once.
  EXPECT_LE(s.peakBytesInUse, 3 * 2 * kBlock);
  EXPECT_LE(s.liveBlocksAtPeak, 3u);
  EXPECT_GE(s.peakBytesInUse, 2 * kBlock);
}

}  // namespace
}  // namespace tev
