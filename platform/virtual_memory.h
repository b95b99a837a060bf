// Whole regions of virtual memory straight from the system, outside the allocation hooks. Used
// by the value arenas' page pool; everything else allocates through platform/allocator.h.
#pragma once

#include <cstddef>

namespace tev::platform {

// Reserves and commits `bytes` of zeroed read-write memory aligned to at least 4096 bytes.
// On Linux a multiple of 2 MB is aligned to 2 MB and advised for transparent huge pages.
// Returns null when the system refuses.
[[nodiscard]] void* virtualAllocate(std::size_t bytes);

// Releases a whole region from virtualAllocate; `bytes` is the size it was made with.
void virtualFree(void* base, std::size_t bytes) noexcept;

}  // namespace tev::platform
