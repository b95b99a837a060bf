// BindingPagePool: the process-wide source of the 4096-byte pages that value arenas carve into
// blocks. Pages come from 64 KB regions of virtual memory. A region goes back to the system once
// all its pages are free, except for spares: every request builds and drops trees, and mapping,
// faulting in and unmapping regions for each would cost more than the work itself (on a virtual
// machine a fresh region costs tens of microseconds). Up to 64 wholly free regions (4 MiB) are
// kept as they are; up to 192 more (12 MiB, what one big tree needs) are kept mapped with their
// contents discarded, so that the system may take their memory back whenever it needs it while
// reusing them costs no fresh mapping while it has not. Discarding is itself a system call per
// region, which is why the kept ones are many and are handed out first. The spares go back when the
// library that links the pool is unloaded (its static destructors run), and from then on every
// wholly free region goes back at once, so values destroyed later leave nothing behind either. The
// pool's own records (the page map, the region records, the set of regions with free pages) live in
// virtual memory as well, outside the allocation hooks: the plugin's memory statistics count
// what its code holds, not the pool's cache. Created on first use and never destroyed; with no
// region mapped it holds nothing. Thread-safe (one mutex). Only BindingArena takes and returns
// pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace tev {

class BindingPagePool {
 public:
  static constexpr std::size_t kPageSize = 4096;
  static constexpr std::size_t kPagesPerRegion = 16;
  static constexpr std::size_t kRegionSize = kPageSize * kPagesPerRegion;
  // Wholly free regions the process-wide pool keeps mapped as they are, and how many more it
  // keeps with their contents discarded. A tree of a body of a megabyte, made and dropped again
  // and again, fits in the kept ones; with only 16 kept, discarding the rest each time cost a
  // tenth of parsing such a body.
  static constexpr std::size_t kDefaultSpareRegions = 64;
  static constexpr std::size_t kDefaultDiscardedSpareRegions = 192;

  // The process-wide pool.
  static BindingPagePool& instance();

  // A page aligned to kPageSize, taken from the lowest region that has a free page, where
  // regions whose contents were discarded come after all others: a small tree that follows a
  // large one reuses a kept region instead of discarding one anew each time it goes. A new
  // region is mapped when none has a free page. Returns null when the system refuses memory.
  [[nodiscard]] void* acquirePage();
  // Hands back a page from acquirePage.
  void releasePage(void* page) noexcept;

  // Unmaps the wholly free regions kept as spares, discarded or not. With `forGood`, no spare is
  // kept from then on.
  void releaseSpares(bool forGood = false) noexcept;

  // Introspection, for tests and diagnostics.
  std::size_t regionCount() const;
  std::size_t spareRegionCount() const;
  // Of the spare regions, those whose contents were discarded.
  std::size_t discardedRegionCount() const;
  std::size_t freePageCount() const;

  explicit BindingPagePool(std::size_t spareRegions = kDefaultSpareRegions,
                           std::size_t discardedSpareRegions = 0) noexcept
      : spareLimit_(spareRegions), discardedSpareLimit_(discardedSpareRegions) {}
  ~BindingPagePool();
  BindingPagePool(const BindingPagePool&) = delete;
  BindingPagePool& operator=(const BindingPagePool&) = delete;

 private:
  static constexpr std::uint32_t kNoRegion = 0xFFFFFFFFu;

  // An array of trivially copyable records in whole pages of virtual memory.
  template <typename T>
  class SystemArray {
   public:
    SystemArray() = default;
    SystemArray(const SystemArray&) = delete;
    SystemArray& operator=(const SystemArray&) = delete;
    ~SystemArray() { release(); }

    T* data() const { return items_; }
    std::size_t capacity() const { return capacity_; }
    T& operator[](std::size_t index) const { return items_[index]; }
    // Room for at least `count` records, keeping the first `keep`; the new room is zeroed.
    // Returns false when the system refuses memory (the array is then unchanged).
    [[nodiscard]] bool reserve(std::size_t count, std::size_t keep);
    void release() noexcept;
    void swap(SystemArray& other) noexcept {
      T* items = items_;
      items_ = other.items_;
      other.items_ = items;
      const std::size_t capacity = capacity_;
      capacity_ = other.capacity_;
      other.capacity_ = capacity;
    }

   private:
    T* items_ = nullptr;
    std::size_t capacity_ = 0;
  };

  // Records refer to each other by index, so that an array may move when it grows.
  struct Region {
    unsigned char* base;
    std::uint8_t freePages[kPagesPerRegion];  // page numbers; taken from and appended at the back
    std::uint32_t freeCount;
    std::uint32_t nextUnused;  // the next record of the unused list, while this one is unused
    bool inFreeSet;
    bool discarded;  // wholly free with its contents given up; orders after the others
  };

  // Page address to region index, open addressing with linear probing.
  class PageMap {
   public:
    std::uint32_t find(std::uintptr_t page) const;
    // Returns false when the table cannot grow.
    [[nodiscard]] bool insert(std::uintptr_t page, std::uint32_t region);
    void erase(std::uintptr_t page);
    // Frees the table; only when no page is mapped.
    void releaseStorage() noexcept;

   private:
    struct Slot {
      std::uintptr_t page;  // 0: unused
      std::uint32_t region;
    };
    std::size_t slotOf(std::uintptr_t page) const;
    [[nodiscard]] bool grow();
    SystemArray<Slot> slots_;
    std::size_t count_ = 0;
  };

  Region& region(std::uint32_t index) const { return regions_[index]; }
  unsigned char* pageAddress(const Region& region, std::size_t number) const {
    return region.base + number * kPageSize;
  }
  // Maps a region and enters it into the free set; returns false when memory is refused.
  bool mapRegion();
  void unmapRegion(std::uint32_t index) noexcept;
  [[nodiscard]] bool enterFreeSet(std::uint32_t index);
  void leaveFreeSet(std::uint32_t index) noexcept;
  // Where `index` stands or would stand in the free set, ordered by discarded flag, then by
  // base address.
  std::size_t freeSetPosition(std::uint32_t index) const;

  mutable std::mutex mutex_;
  PageMap pages_;
  SystemArray<Region> regions_;
  std::uint32_t regionRecords_ = 0;  // records ever used in regions_, mapped or unused
  std::uint32_t unusedRecord_ = kNoRegion;
  SystemArray<std::uint32_t> freeSet_;  // regions with free pages, kept ones first, by address
  std::size_t freeSetSize_ = 0;
  std::size_t regionCount_ = 0;
  std::size_t spareCount_ = 0;      // regions in the free set with every page free
  std::size_t discardedCount_ = 0;  // of those, the discarded ones
  std::size_t spareLimit_;
  std::size_t discardedSpareLimit_;
};

}  // namespace tev
