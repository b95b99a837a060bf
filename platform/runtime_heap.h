// The runtime library's allocator, as the allocation hooks fall back to and the counting
// functions measure it. Blocks from here are freed here; never mix them with other allocators.
#pragma once

#include <cstddef>

namespace tev::platform {

void* heapAllocate(std::size_t size);
void heapFree(void* block);
void* heapReallocate(void* block, std::size_t size);
// Returns a heap copy of `text` (freed with heapFree), or null when out of memory.
char* heapDuplicateText(const char* text);
// The usable size of a live block (at least what was asked for). The block must not be null.
std::size_t heapBlockSize(const void* block);

}  // namespace tev::platform
