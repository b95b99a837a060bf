#include "platform/recursive_lock.h"

#include <pthread.h>

#include <new>

namespace tev::platform {
namespace {

static_assert(sizeof(pthread_mutex_t) <= RecursiveLock::kStorageSize);
static_assert(alignof(pthread_mutex_t) <= 16);

}  // namespace

RecursiveLock::RecursiveLock() noexcept {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(::new (storage_) pthread_mutex_t, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

RecursiveLock::~RecursiveLock() {
  pthread_mutex_destroy(std::launder(reinterpret_cast<pthread_mutex_t*>(storage_)));
}

void RecursiveLock::lock() noexcept {
  pthread_mutex_lock(std::launder(reinterpret_cast<pthread_mutex_t*>(storage_)));
}

bool RecursiveLock::tryLock() noexcept {
  return pthread_mutex_trylock(std::launder(reinterpret_cast<pthread_mutex_t*>(storage_))) == 0;
}

void RecursiveLock::unlock() noexcept {
  pthread_mutex_unlock(std::launder(reinterpret_cast<pthread_mutex_t*>(storage_)));
}

}  // namespace tev::platform
