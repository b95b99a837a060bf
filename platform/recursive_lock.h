// A recursive lock: the thread that holds it may take it again, and each lock() needs its own
// unlock(). Lives where it is constructed (never copied or moved) and must not be destroyed while
// held. Prefer std::mutex where re-entry cannot happen.
#pragma once

#include <cstddef>

namespace tev::platform {

class RecursiveLock {
 public:
  RecursiveLock() noexcept;
  ~RecursiveLock();
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  // Blocks until the calling thread holds the lock.
  void lock() noexcept;
  // Takes the lock if no other thread holds it; returns whether it did.
  [[nodiscard]] bool tryLock() noexcept;
  // Gives back one level; the caller must hold the lock.
  void unlock() noexcept;

  // Room for the system's lock object, which the implementation checks at compile time.
  static constexpr std::size_t kStorageSize = 64;

 private:
  alignas(16) unsigned char storage_[kStorageSize];
};

// Holds a RecursiveLock for one scope.
class RecursiveLockGuard {
 public:
  explicit RecursiveLockGuard(RecursiveLock& lock) noexcept : lock_(lock) { lock_.lock(); }
  ~RecursiveLockGuard() { lock_.unlock(); }
  RecursiveLockGuard(const RecursiveLockGuard&) = delete;
  RecursiveLockGuard& operator=(const RecursiveLockGuard&) = delete;

 private:
  RecursiveLock& lock_;
};

}  // namespace tev::platform
