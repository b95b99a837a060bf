// The process-wide allocation hooks through which every allocation of the plugin goes (object
// creation, strings, containers; the value arenas' pages and large string tables excepted). On
// the first use the table holds the counting functions, which keep the MemoryStatistics
// counters; a host or a test may replace entries, and an entry left null falls back to the
// runtime library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tev {

struct AllocatorHooks {
  void* (*allocate)(std::size_t size, void* context);
  void (*free)(void* block, void* context);
  void* (*reallocate)(void* block, std::size_t size, void* context);
  char* (*duplicateText)(const char* text, void* context);
  std::size_t (*blockSize)(const void* block, void* context);
  void* context;
};

// The process-wide table, set to the counting functions on first use.
AllocatorHooks& allocatorHooks();

// The operations the plugin calls; each goes through the table entry or the runtime library.
[[nodiscard]] void* hookedAllocate(std::size_t size);
void hookedFree(void* block);
[[nodiscard]] void* hookedReallocate(void* block, std::size_t size);
[[nodiscard]] char* hookedDuplicateText(const char* text);

}  // namespace tev
