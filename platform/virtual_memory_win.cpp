#include "platform/virtual_memory.h"

#include <windows.h>

namespace tev::platform {

void* virtualAllocate(std::size_t bytes) {
  return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void virtualFree(void* base, std::size_t) noexcept {
  // MEM_RELEASE frees the whole reservation and requires a size of 0.
  if (base != nullptr) ::VirtualFree(base, 0, MEM_RELEASE);
}

}  // namespace tev::platform
