#include "platform/virtual_memory.h"

#include <windows.h>

namespace tev::platform {

void* virtualAllocate(std::size_t bytes) {
  return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void virtualDiscard(void* base, std::size_t bytes) noexcept {
  // MEM_RESET keeps the range committed; its pages are neither written to nor read from the
  // paging file again, and the system may reuse their frames.
  ::VirtualAlloc(base, bytes, MEM_RESET, PAGE_READWRITE);
}

void virtualFree(void* base, std::size_t) noexcept {
  // MEM_RELEASE frees the whole reservation and requires a size of 0.
  if (base != nullptr) ::VirtualFree(base, 0, MEM_RELEASE);
}

}  // namespace tev::platform
