// BindingPagePool: the process-wide source of the 4096-byte pages that value arenas carve into
// blocks. Pages come from 64 KB regions of virtual memory. A region goes back to the system once
// all its pages are free, except that a few wholly free regions are kept as spares: every request
// builds and drops a small tree, and mapping and unmapping a region for each would cost more than
// the work itself. The spares go back when the library that links the pool is unloaded (its
// static destructors run), and from then on every wholly free region goes back at once, so values
// destroyed later leave nothing behind either. Created on first use and never destroyed; with no
// region mapped it holds no heap memory. Thread-safe (one mutex). Only BindingArena takes and
// returns pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/allocator.h"

namespace tev {

class BindingPagePool {
 public:
  static constexpr std::size_t kPageSize = 4096;
  static constexpr std::size_t kPagesPerRegion = 16;
  static constexpr std::size_t kRegionSize = kPageSize * kPagesPerRegion;
  // Wholly free regions the process-wide pool keeps mapped.
  static constexpr std::size_t kDefaultSpareRegions = 16;

  // The process-wide pool.
  static BindingPagePool& instance();

  // A page aligned to kPageSize, taken from the lowest region that has a free page; a new
  // region is mapped when none has. Returns null when the system refuses memory.
  [[nodiscard]] void* acquirePage();
  // Hands back a page from acquirePage.
  void releasePage(void* page) noexcept;

  // Unmaps the wholly free regions kept as spares. With `forGood`, no spare is kept from then on.
  void releaseSpares(bool forGood = false) noexcept;

  // Introspection, for tests and diagnostics.
  std::size_t regionCount() const;
  std::size_t spareRegionCount() const;
  std::size_t freePageCount() const;

  explicit BindingPagePool(std::size_t spareRegions = kDefaultSpareRegions) noexcept
      : spareLimit_(spareRegions) {}
  BindingPagePool(const BindingPagePool&) = delete;
  BindingPagePool& operator=(const BindingPagePool&) = delete;

 private:
  struct Region {
    unsigned char* base;
    unsigned char* freePages[kPagesPerRegion];  // taken from the back, appended at the back
    std::size_t freeCount;
    bool inFreeSet;
  };

  // Page address to region, open addressing with linear probing.
  class PageMap {
   public:
    ~PageMap();
    Region* find(std::uintptr_t page) const;
    // Returns false when the table cannot grow.
    [[nodiscard]] bool insert(std::uintptr_t page, Region* region);
    void erase(std::uintptr_t page);
    // Frees the table's storage; only when no page is mapped.
    void releaseStorage() noexcept;

   private:
    struct Slot {
      std::uintptr_t page;  // 0: unused
      Region* region;
    };
    std::size_t slotOf(std::uintptr_t page) const;
    [[nodiscard]] bool grow();
    Slot* slots_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t count_ = 0;
  };

  Region* mapRegion();
  void unmapRegion(Region* region) noexcept;
  void enterFreeSet(Region* region);
  void leaveFreeSet(Region* region) noexcept;

  mutable std::mutex mutex_;
  PageMap pages_;
  Vector<Region*> freeSet_;  // regions with free pages, by ascending base address
  std::size_t regionCount_ = 0;
  std::size_t spareCount_ = 0;  // regions in freeSet_ with every page free
  std::size_t spareLimit_;
};

}  // namespace tev
