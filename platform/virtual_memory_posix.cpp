#include "platform/virtual_memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace tev::platform {

namespace {

// The size of a huge page on x86-64 Linux.
constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // since Linux 5.14; older kernels refuse it
#endif

void* mapPopulated(std::size_t bytes) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
  // Committed means backed now, as on Windows: one fault-in of the whole region instead of a
  // page fault per first touch.
  flags |= MAP_POPULATE;
#endif
  void* base = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
  return base == MAP_FAILED ? nullptr : base;
}

// A region of whole huge pages is mapped on a huge-page boundary and offered to the kernel for
// huge pages before it is faulted in: a large tree then takes a translation per 2 MB instead
// of one per 4 KB, and walks it with far fewer translation misses. Where the system does not
// use huge pages the advice changes nothing.
void* mapHugeAligned(std::size_t bytes) {
  void* raw = ::mmap(nullptr, bytes + kHugePageSize, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePageSize - 1) & ~(kHugePageSize - 1);
  const std::uintptr_t end = start + bytes + kHugePageSize;
  if (aligned != start) ::munmap(raw, aligned - start);
  if (end != aligned + bytes)
    ::munmap(reinterpret_cast<void*>(aligned + bytes), end - aligned - bytes);
  auto* base = reinterpret_cast<unsigned char*>(aligned);
#ifdef MADV_HUGEPAGE
  ::madvise(base, bytes, MADV_HUGEPAGE);
#endif
  if (::madvise(base, bytes, kPopulateWrite) != 0) {
    // An older kernel: fault the region in by hand, a store per page.
    for (std::size_t offset = 0; offset < bytes; offset += 4096) {
      *static_cast<volatile unsigned char*>(base + offset) = 0;
    }
  }
  return base;
}

}  // namespace

void* virtualAllocate(std::size_t bytes) {
  if (bytes >= kHugePageSize && bytes % kHugePageSize == 0) return mapHugeAligned(bytes);
  return mapPopulated(bytes);
}

void virtualFree(void* base, std::size_t bytes) noexcept {
  if (base != nullptr) ::munmap(base, bytes);
}

}  // namespace tev::platform
