#include "platform/virtual_memory.h"

#include <sys/mman.h>

namespace tev::platform {

void* virtualAllocate(std::size_t bytes) {
  void* base = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return base == MAP_FAILED ? nullptr : base;
}

void virtualFree(void* base, std::size_t bytes) noexcept {
  if (base != nullptr) ::munmap(base, bytes);
}

}  // namespace tev::platform
