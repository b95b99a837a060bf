// An allocator in rapidjson's Allocator concept that goes through the plugin's allocation hooks,
// so the reader's string stack and the writers' buffers show in the memory statistics. A failed
// allocation throws std::bad_alloc (rapidjson would write through the null block); the codecs
// catch it. Stateless: any instance frees what another allocated. Only for rapidjson's templates.
#pragma once

#include <cstddef>
#include <new>

#include "platform/allocator_hooks.h"

namespace tev::serialization_internal {

class HookedRapidjsonAllocator {
 public:
  static constexpr bool kNeedFree = true;

  void* Malloc(std::size_t size) {
    if (size == 0) return nullptr;
    void* block = hookedAllocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
  void* Realloc(void* block, std::size_t /*oldSize*/, std::size_t newSize) {
    if (newSize == 0) {
      hookedFree(block);
      return nullptr;
    }
    void* grown = hookedReallocate(block, newSize);
    if (grown == nullptr) throw std::bad_alloc();
    return grown;
  }
  static void Free(void* block) { hookedFree(block); }
};

}  // namespace tev::serialization_internal
