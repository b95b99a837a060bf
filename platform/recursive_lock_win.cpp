#include "platform/recursive_lock.h"

#include <windows.h>

#include <new>

namespace tev::platform {
namespace {

static_assert(sizeof(CRITICAL_SECTION) <= RecursiveLock::kStorageSize);
static_assert(alignof(CRITICAL_SECTION) <= 16);

CRITICAL_SECTION* section(unsigned char* storage) {
  return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

}  // namespace

// A critical section is recursive by nature and never fails to initialise on current systems.
RecursiveLock::RecursiveLock() noexcept {
  InitializeCriticalSection(::new (storage_) CRITICAL_SECTION);
}

RecursiveLock::~RecursiveLock() { DeleteCriticalSection(section(storage_)); }

void RecursiveLock::lock() noexcept { EnterCriticalSection(section(storage_)); }

bool RecursiveLock::tryLock() noexcept { return TryEnterCriticalSection(section(storage_)) != 0; }

void RecursiveLock::unlock() noexcept { LeaveCriticalSection(section(storage_)); }

}  // namespace tev::platform
