#include "platform/runtime_heap.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>

namespace tev::platform {

void* heapAllocate(std::size_t size) { return std::malloc(size); }
void heapFree(void* block) { std::free(block); }
void* heapReallocate(void* block, std::size_t size) { return std::realloc(block, size); }
char* heapDuplicateText(const char* text) { return ::strdup(text); }
std::size_t heapBlockSize(const void* block) {
  return ::malloc_usable_size(const_cast<void*>(block));
}

}  // namespace tev::platform
