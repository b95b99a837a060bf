#include "platform/allocation_counters.h"

#include "platform/runtime_heap.h"

namespace tev {
namespace {

AllocationCounters& countersOf(void* context) {
  return context ? *static_cast<AllocationCounters*>(context) : processAllocationCounters();
}

void updatePeak(AllocationCounters& c) {
  const std::uint64_t inUse = c.bytesAllocated.load() - c.bytesFreed.load();
  if (inUse > c.peakBytesInUse.load()) {
    c.peakBytesInUse.store(inUse);
    c.liveBlocksAtPeak.store(c.allocations.load() - c.frees.load());
  }
}

}  // namespace

AllocationCounters& processAllocationCounters() {
  static AllocationCounters counters;
  return counters;
}

AllocationSnapshot snapshot(const AllocationCounters& c) {
  return {c.peakBytesInUse.load(), c.liveBlocksAtPeak.load(), c.bytesAllocated.load(),
          c.allocations.load(),    c.bytesFreed.load(),       c.frees.load()};
}

void* countingAllocate(std::size_t size, void* context) {
  AllocationCounters& c = countersOf(context);
  void* block = platform::heapAllocate(size);
  c.bytesAllocated.fetch_add(block ? platform::heapBlockSize(block) : 0);
  c.allocations.fetch_add(1);
  updatePeak(c);
  return block;
}

void countingFree(void* block, void* context) {
  if (block == nullptr) return;
  AllocationCounters& c = countersOf(context);
  const std::size_t size = platform::heapBlockSize(block);
  platform::heapFree(block);
  c.bytesFreed.fetch_add(size);
  c.frees.fetch_add(1);
}

void* countingReallocate(void* block, std::size_t size, void* context) {
  AllocationCounters& c = countersOf(context);
  const std::size_t oldSize = block ? platform::heapBlockSize(block) : 0;
  void* moved = platform::heapReallocate(block, size);
  const std::size_t newSize = moved ? platform::heapBlockSize(moved) : 0;
  // A failed reallocation leaves the old block alive, so it is not counted as freed; only the
  // failed attempt counts, as one allocation of 0 bytes.
  if (moved != nullptr || size == 0) {
    c.bytesFreed.fetch_add(oldSize);
    c.frees.fetch_add(1);
  }
  c.bytesAllocated.fetch_add(newSize);
  c.allocations.fetch_add(1);
  updatePeak(c);
  return moved;
}

char* countingDuplicateText(const char* text, void* context) {
  AllocationCounters& c = countersOf(context);
  char* copy = text ? platform::heapDuplicateText(text) : nullptr;
  c.bytesAllocated.fetch_add(copy ? platform::heapBlockSize(copy) : 0);
  c.allocations.fetch_add(1);
  updatePeak(c);
  return copy;
}

std::size_t countingBlockSize(const void* block, void*) {
  return block ? platform::heapBlockSize(block) : 0;
}

}  // namespace tev
