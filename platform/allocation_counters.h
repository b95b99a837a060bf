// The allocation accounting behind the counting hooks. Counters are process-wide and updated
// with atomic 64-bit operations from any thread; the peak and its live-block count are each
// consistent but not a consistent pair, and neither ever exceeds what was allocated.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tev {

struct AllocationCounters {
  std::atomic<std::uint64_t> peakBytesInUse{0};
  std::atomic<std::uint64_t> liveBlocksAtPeak{0};
  std::atomic<std::uint64_t> bytesAllocated{0};
  std::atomic<std::uint64_t> allocations{0};
  std::atomic<std::uint64_t> bytesFreed{0};
  std::atomic<std::uint64_t> frees{0};
  // Bytes in use and live blocks (allocations minus frees) as running totals, from which the
  // peak is taken. Signed: a block freed here that was allocated elsewhere may take them below 0.
  std::atomic<std::int64_t> bytesInUse{0};
  std::atomic<std::int64_t> blocksInUse{0};
  // For tests that force an interleaving: when set, called by every counting function while it
  // updates the peak, after it has read what is in use and before it compares that with the peak.
  void (*peakUpdateHookForTesting)(AllocationCounters& counters) = nullptr;
};

// A plain copy of the counters, each read atomically, in the order the host's record uses.
struct AllocationSnapshot {
  std::uint64_t peakBytesInUse;
  std::uint64_t liveBlocksAtPeak;
  std::uint64_t bytesAllocated;
  std::uint64_t allocations;
  std::uint64_t bytesFreed;
  std::uint64_t frees;

  std::uint64_t bytesInUse() const { return bytesAllocated - bytesFreed; }
  std::uint64_t liveBlocks() const { return allocations - frees; }
};

// The counters the default hooks update.
AllocationCounters& processAllocationCounters();
AllocationSnapshot snapshot(const AllocationCounters& counters);

// The counting functions; `context` is an AllocationCounters*.
void* countingAllocate(std::size_t size, void* context);
void countingFree(void* block, void* context);
void* countingReallocate(void* block, std::size_t size, void* context);
// A failed duplication counts as one allocation of 0 bytes, like a failed allocate, and
// returns null; the size of a null block is never asked for.
char* countingDuplicateText(const char* text, void* context);
std::size_t countingBlockSize(const void* block, void* context);

}  // namespace tev
