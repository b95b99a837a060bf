#include "platform/virtual_memory.h"

#include <sys/mman.h>

namespace tev::platform {

void* virtualAllocate(std::size_t bytes) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
  // Committed means backed now, as on Windows: one fault-in of the whole region instead of a
  // page fault per first touch.
  flags |= MAP_POPULATE;
#endif
  void* base = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
  return base == MAP_FAILED ? nullptr : base;
}

void virtualFree(void* base, std::size_t bytes) noexcept {
  if (base != nullptr) ::munmap(base, bytes);
}

}  // namespace tev::platform
