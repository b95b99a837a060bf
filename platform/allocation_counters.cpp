#include "platform/allocation_counters.h"

#include "platform/runtime_heap.h"

namespace tev {
namespace {

AllocationCounters& countersOf(void* context) {
  return context ? *static_cast<AllocationCounters*>(context) : processAllocationCounters();
}

// Bytes and blocks in use are running totals of their own, each changed by one atomic step, so
// the peak is always a value the bytes in use really had. Computing it as allocated minus freed
// from two loads in a row lets a thread overtaken between them store a wrapped difference. The
// totals are added after the allocated counters and subtracted after the freed ones, so a peak
// never exceeds what was ever allocated.
void addInUse(AllocationCounters& c, std::int64_t bytes, std::int64_t blocks) {
  const std::int64_t blocksNow = c.blocksInUse.fetch_add(blocks) + blocks;
  const std::int64_t bytesNow = c.bytesInUse.fetch_add(bytes) + bytes;
  if (c.peakUpdateHookForTesting != nullptr) c.peakUpdateHookForTesting(c);
  if (bytesNow <= 0) return;
  const auto inUse = static_cast<std::uint64_t>(bytesNow);
  std::uint64_t peak = c.peakBytesInUse.load();
  // Raised only, by compare-and-exchange, so a slower thread never lowers it again. The peak and
  // its block count are stored one after the other: each is right, the pair may not match.
  while (inUse > peak) {
    if (c.peakBytesInUse.compare_exchange_weak(peak, inUse)) {
      c.liveBlocksAtPeak.store(blocksNow > 0 ? static_cast<std::uint64_t>(blocksNow) : 0);
      return;
    }
  }
}

}  // namespace

AllocationCounters& processAllocationCounters() {
  static AllocationCounters counters;
  return counters;
}

// The freed counters are read before the allocated ones: a block is counted as allocated before
// it can be freed, so the differences of a snapshot never wrap.
AllocationSnapshot snapshot(const AllocationCounters& c) {
  AllocationSnapshot s{};
  s.frees = c.frees.load();
  s.bytesFreed = c.bytesFreed.load();
  s.allocations = c.allocations.load();
  s.bytesAllocated = c.bytesAllocated.load();
  s.liveBlocksAtPeak = c.liveBlocksAtPeak.load();
  s.peakBytesInUse = c.peakBytesInUse.load();
  return s;
}

void* countingAllocate(std::size_t size, void* context) {
  AllocationCounters& c = countersOf(context);
  void* block = platform::heapAllocate(size);
  const std::size_t blockSize = block ? platform::heapBlockSize(block) : 0;
  c.bytesAllocated.fetch_add(blockSize);
  c.allocations.fetch_add(1);
  addInUse(c, static_cast<std::int64_t>(blockSize), 1);
  return block;
}

void countingFree(void* block, void* context) {
  if (block == nullptr) return;
  AllocationCounters& c = countersOf(context);
  const std::size_t size = platform::heapBlockSize(block);
  platform::heapFree(block);
  c.bytesFreed.fetch_add(size);
  c.frees.fetch_add(1);
  addInUse(c, -static_cast<std::int64_t>(size), -1);
}

void* countingReallocate(void* block, std::size_t size, void* context) {
  AllocationCounters& c = countersOf(context);
  const std::size_t oldSize = block ? platform::heapBlockSize(block) : 0;
  void* moved = platform::heapReallocate(block, size);
  const std::size_t newSize = moved ? platform::heapBlockSize(moved) : 0;
  // A null reallocation is an allocation, not a free: counting a free of nothing would leave
  // frees ahead of allocations and wrap the live-block count. A failed reallocation leaves the
  // old block alive, so it is not counted as freed either; only the failed attempt counts, as one
  // allocation of 0 bytes.
  const bool freed = block != nullptr && (moved != nullptr || size == 0);
  if (freed) {
    c.bytesFreed.fetch_add(oldSize);
    c.frees.fetch_add(1);
  }
  c.bytesAllocated.fetch_add(newSize);
  c.allocations.fetch_add(1);
  addInUse(c, static_cast<std::int64_t>(newSize) - static_cast<std::int64_t>(freed ? oldSize : 0),
           freed ? 0 : 1);
  return moved;
}

char* countingDuplicateText(const char* text, void* context) {
  AllocationCounters& c = countersOf(context);
  char* copy = text ? platform::heapDuplicateText(text) : nullptr;
  const std::size_t blockSize = copy ? platform::heapBlockSize(copy) : 0;
  c.bytesAllocated.fetch_add(blockSize);
  c.allocations.fetch_add(1);
  addInUse(c, static_cast<std::int64_t>(blockSize), 1);
  return copy;
}

std::size_t countingBlockSize(const void* block, void*) {
  return block ? platform::heapBlockSize(block) : 0;
}

}  // namespace tev
