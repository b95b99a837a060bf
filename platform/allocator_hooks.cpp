#include "platform/allocator_hooks.h"

#include "platform/allocation_counters.h"
#include "platform/runtime_heap.h"

namespace tev {

AllocatorHooks& allocatorHooks() {
  // A function-local static: the table is set to the counting functions by the first
  // allocation of the process, whichever thread makes it.
  static AllocatorHooks hooks{&countingAllocate,   &countingFree,
                              &countingReallocate, &countingDuplicateText,
                              &countingBlockSize,  &processAllocationCounters()};
  return hooks;
}

void* hookedAllocate(std::size_t size) {
  const AllocatorHooks& hooks = allocatorHooks();
  return hooks.allocate ? hooks.allocate(size, hooks.context) : platform::heapAllocate(size);
}

void hookedFree(void* block) {
  const AllocatorHooks& hooks = allocatorHooks();
  if (hooks.free) {
    hooks.free(block, hooks.context);
  } else {
    platform::heapFree(block);
  }
}

void* hookedReallocate(void* block, std::size_t size) {
  const AllocatorHooks& hooks = allocatorHooks();
  return hooks.reallocate ? hooks.reallocate(block, size, hooks.context)
                          : platform::heapReallocate(block, size);
}

char* hookedDuplicateText(const char* text) {
  const AllocatorHooks& hooks = allocatorHooks();
  return hooks.duplicateText ? hooks.duplicateText(text, hooks.context)
                             : platform::heapDuplicateText(text);
}

}  // namespace tev
