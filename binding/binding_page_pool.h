// BindingPagePool: the process-wide source of the 4096-byte pages that value arenas carve into
// blocks. Pages come from regions of virtual memory that the pool maps, committed and faulted in
// at once, and that it hands out page by page.
//
// Release policy. Every request builds and drops trees, and the cost of memory that goes back
// to the system on the spot is paid again on the next tree: a fresh mapping, a page fault on
// the first store into every page, and for each unmapping or discarding a flush of the other
// processors' address translations. On a virtual machine that made parsing a body of 100,000
// records five times dearer per record than one of 1,000. So the pool returns memory by age,
// not when it becomes free:
// - A page handed out is always one that is already mapped and faulted in when the pool has
//   one; nothing is discarded, so a kept page never faults again.
// - The lowest free page of a region goes out first, and an arena takes pages for a growing
//   size class in runs (acquirePages): a class's pages then lie side by side, and a walk over a
//   large tree reads memory in order instead of jumping between classes at every page.
// - Regions grow with demand: the first is 64 KB (16 pages), each further one as large as
//   everything mapped so far, up to 2 MB (512 pages). A large tree costs a few mappings, not
//   one per 16 pages, and a region of 2 MB can be one huge page where the system offers them
//   (see platform/virtual_memory.h).
// - A region all of whose pages are free (a spare) stays mapped. Spares unused for longer than
//   the decay time (10 s) are unmapped at the next acquirePage or releasePage after that time,
//   newest first, down to a floor of kDefaultKeptBytes (1 MB) that stays for the next small
//   request. Spares that the peak of pages in use over the last half to whole decay time
//   needed stay a little longer (at most half a decay time): a round of work slower than the
//   decay time, as a big body on a loaded machine can be, must not lose the regions it is
//   about to take again. The decay time is long for the same reason; rounds closer together
//   than it make no system call after the first.
// - Bound: spares never exceed kDefaultRetainedBytes in all. A region that becomes wholly free
//   beyond the bound is unmapped at once; only bursts larger than the bound pay for mapping
//   again.
// - The plugin has no thread of its own, so nothing happens while the host sends no work: after
//   a burst the spares (at most the bound) stay mapped until the first pool operation 10 to
//   15 s later, the host's Shutdown (which calls releaseSpares) or the library's unload (its
//   static destructors call releaseSpares for good), whichever comes first. A host that keeps
//   the plugin loaded but idle for hours keeps that much mapped for hours.
// - String tables. An arena's string table of kMinTableBytes or more is a run of whole pages
//   mapped here (acquireTable) instead of a heap block: a large tree's table doubles a dozen
//   times while the tree grows, and from the heap every round of equal work mapped, faulted in
//   and trimmed those sizes again. A table handed back is kept for the next table of the same
//   size, by the same age rule as the spare regions but without a kept floor: spare tables
//   unused for longer than the decay time are unmapped at the next pool operation after it, and
//   never more than kDefaultRetainedTableBytes are kept (the oldest go first).
// This departs from the older rules that a region is 16 pages mapped at once and goes back when
// all of them are free again, that the page handed out is the one handed back last, and that an
// arena takes one page at a time; pages, size classes and the arena's block lists are unchanged.
//
// The pool's own records (the page map, the region records, the set of regions with free pages)
// live in virtual memory as well, outside the allocation hooks: the plugin's memory statistics
// count what its code holds, not the pool's cache (nor, like pages, the large string tables).
// Every map and unmap the pool makes, records and tables included, is counted (systemCalls()).
// Created on first use and never destroyed; with no region mapped and no spare table it holds
// nothing. Thread-safe (one mutex). Only BindingArena takes and returns pages and tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace tev {

class BindingPagePool {
 public:
  static constexpr std::size_t kPageSize = 4096;
  // The smallest region, and the largest one the pool grows to.
  static constexpr std::size_t kPagesPerRegion = 16;
  static constexpr std::size_t kRegionSize = kPageSize * kPagesPerRegion;
  static constexpr std::size_t kMaxPagesPerRegion = 512;
  static constexpr std::size_t kMaxRegionSize = kPageSize * kMaxPagesPerRegion;

  // How much wholly free memory the process-wide pool keeps mapped after a burst. On the 32-bit
  // build 64 MB: the tree of a body of roughly 100,000 store records, 3 % of the 2 GB of a
  // 32-bit process (1.5 % of the 4 GB of a large-address-aware one). On 64-bit builds, where
  // address space is plentiful and the same tree takes 79 MB, 1 GB: the tree of a million such
  // records. Larger bursts map their excess again each time.
  static constexpr std::size_t kDefaultRetainedBytes =
      sizeof(void*) == 4 ? std::size_t{64} << 20 : std::size_t{1} << 30;
  // How much of it stays past the decay time, for the next request.
  static constexpr std::size_t kDefaultKeptBytes = std::size_t{1} << 20;
  // How long a spare stays unused before it goes back.
  static constexpr std::uint64_t kDefaultDecayMilliseconds = 10000;
  // String tables this large or larger come from acquireTable: 8,192 buckets on the 32-bit
  // build, 4,096 on 64-bit ones. Every bucket table size from there on is a whole number of
  // pages.
  static constexpr std::size_t kMinTableBytes = std::size_t{64} << 10;
  // How much the spare tables may hold in all: on the 32-bit build 16 MB, the table of two
  // million texts or the doublings that led to that of one million; 64 MB on 64-bit ones.
  static constexpr std::size_t kDefaultRetainedTableBytes =
      sizeof(void*) == 4 ? std::size_t{16} << 20 : std::size_t{64} << 20;
  static constexpr std::size_t kSpareTableSlots = 16;

  // A monotonic clock in milliseconds. A seam for tests of the decay.
  using Clock = std::uint64_t (*)();
  static std::uint64_t monotonicMilliseconds();

  struct Policy {
    std::size_t retainedBytes = kDefaultRetainedBytes;
    std::size_t keptBytes = kDefaultKeptBytes;
    std::uint64_t decayMilliseconds = kDefaultDecayMilliseconds;
    std::size_t maxRegionSize = kMaxRegionSize;  // kRegionSize to kMaxRegionSize
    std::size_t retainedTableBytes = kDefaultRetainedTableBytes;
    Clock clock = &monotonicMilliseconds;
  };

  // The pool's own system calls since it was made: mappings and unmappings of regions and of
  // its records.
  struct SystemCalls {
    std::uint64_t maps = 0;
    std::uint64_t unmaps = 0;
  };

  // The process-wide pool.
  static BindingPagePool& instance();

  // A page aligned to kPageSize: the lowest free page of the oldest region that has one, so
  // that equal work uses the same regions each time, those a burst added age out, and pages go
  // out in address order whatever order they came back in. A new region is mapped when none has
  // one. Returns null when the system refuses memory.
  [[nodiscard]] void* acquirePage();
  // Up to `count` pages at once, the lowest free ones of one region, so adjacent where that
  // region has free pages side by side: what an arena takes for a size class that grows.
  // Returns how many it stored in `pages`: at least one, or none when the system refuses memory.
  [[nodiscard]] std::size_t acquirePages(void** pages, std::size_t count);
  // Hands back a page from acquirePage or acquirePages.
  void releasePage(void* page) noexcept;
  // Hands back `count` pages at once, under one lock: what an arena does when its tree goes.
  void releasePages(void* const* pages, std::size_t count) noexcept;

  // A string table of `bytes` (a multiple of kPageSize, at least kMinTableBytes): a spare of
  // that size when there is one, with whatever it held, or fresh zeroed memory. Returns null
  // when the system refuses memory.
  [[nodiscard]] void* acquireTable(std::size_t bytes);
  // Hands back a table from acquireTable with the size it was taken with.
  void releaseTable(void* table, std::size_t bytes) noexcept;

  // Unmaps every spare, region or table, whatever its age. With `forGood`, no spare is kept from
  // then on: every region goes back as soon as it is wholly free.
  void releaseSpares(bool forGood = false) noexcept;

  // Introspection, for tests and diagnostics.
  std::size_t regionCount() const;
  std::size_t spareRegionCount() const;
  std::size_t mappedBytes() const;
  std::size_t spareBytes() const;
  std::size_t freePageCount() const;
  std::size_t spareTableBytes() const;
  SystemCalls systemCalls() const;

  BindingPagePool() noexcept : BindingPagePool(Policy{}) {}
  explicit BindingPagePool(const Policy& policy) noexcept;
  ~BindingPagePool();
  BindingPagePool(const BindingPagePool&) = delete;
  BindingPagePool& operator=(const BindingPagePool&) = delete;

 private:
  static constexpr std::uint32_t kNoRegion = 0xFFFFFFFFu;
  static constexpr std::uint64_t kNever = ~std::uint64_t{0};

  // An array of trivially copyable records in whole pages of virtual memory.
  template <typename T>
  class SystemArray {
   public:
    explicit SystemArray(SystemCalls* calls) : calls_(calls) {}
    SystemArray(const SystemArray&) = delete;
    SystemArray& operator=(const SystemArray&) = delete;
    ~SystemArray() { release(); }

    T* data() const { return items_; }
    SystemCalls* calls() const { return calls_; }
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
    SystemCalls* calls_;
  };

  // Records refer to each other by index, so that an array may move when it grows.
  struct Region {
    unsigned char* base;
    std::uint64_t freeSince;  // while wholly free: when it became so
    std::uint64_t serial;     // order of mapping: older regions serve first
    std::uint32_t pageCount;
    std::uint32_t freeCount;
    std::uint32_t nextUnused;  // the next record of the unused list, while this one is unused
    bool inFreeSet;
    // A bit per page, set while it is free. The lowest free page serves first, so pages go out
    // in address order and the pages of a run taken at once are adjacent.
    std::uint64_t freeBits[kMaxPagesPerRegion / 64];
    std::size_t bytes() const { return std::size_t{pageCount} * kPageSize; }
  };

  // Page address to region index, open addressing with linear probing.
  class PageMap {
   public:
    explicit PageMap(SystemCalls* calls) : slots_(calls) {}
    std::uint32_t find(std::uintptr_t page) const;
    // Starts fetching the slot where a search for `page` begins.
    void prefetch(std::uintptr_t page) const {
      if (slots_.capacity() != 0) __builtin_prefetch(&slots_[slotOf(page)]);
    }
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
  // Takes the lowest free page of a region that has one and returns its number.
  static std::size_t takeLowest(Region& region) noexcept;
  unsigned char* pageAddress(const Region& region, std::size_t number) const {
    return region.base + number * kPageSize;
  }
  // The size of the next region: as much as is mapped, within the policy's limits.
  std::size_t nextRegionSize() const;
  // Maps a region and enters it into the free set; returns false when memory is refused.
  bool mapRegion(std::uint64_t now);
  void unmapRegion(std::uint32_t index) noexcept;
  // Counts a region that has just become wholly free as a spare, or unmaps it when it does not
  // fit under the bound.
  void becameSpare(std::uint32_t index, std::uint64_t now) noexcept;
  // releasePage's work with the lock held.
  void releaseLocked(unsigned char* page, std::uint64_t now) noexcept;
  // At every pool operation: follows the recent peak of pages in use and decays when due.
  void observe(std::uint64_t now) noexcept;
  // Unmaps the spares older than the decay time that the recent peak did not need, down to the
  // kept floor.
  void decay(std::uint64_t now) noexcept;
  [[nodiscard]] bool enterFreeSet(std::uint32_t index);
  void leaveFreeSet(std::uint32_t index) noexcept;
  // Unmaps the spare table in `slot`.
  void unmapTable(std::size_t slot) noexcept;
  // Unmaps the spare tables older than the decay time.
  void decayTables(std::uint64_t now) noexcept;
  // Where `index` stands or would stand in the free set, ordered by serial.
  std::size_t freeSetPosition(std::uint32_t index) const;

  mutable std::mutex mutex_;
  SystemCalls calls_;
  PageMap pages_;
  SystemArray<Region> regions_;
  std::uint32_t regionRecords_ = 0;  // records ever used in regions_, mapped or unused
  std::uint32_t unusedRecord_ = kNoRegion;
  SystemArray<std::uint32_t> freeSet_;  // regions with free pages, oldest first
  std::size_t freeSetSize_ = 0;
  std::size_t regionCount_ = 0;
  std::size_t mappedBytes_ = 0;
  std::size_t spareCount_ = 0;  // regions in the free set with every page free
  std::size_t spareBytes_ = 0;
  std::uint64_t nextSerial_ = 0;
  std::uint64_t decayDue_ = kNever;  // no spare can be old enough before this time
  std::size_t inUseBytes_ = 0;       // pages handed out and not back
  std::size_t peakNow_ = 0;          // the peak of inUseBytes_ since halfStart_
  std::size_t peakBefore_ = 0;       // and over the half decay time before that
  std::uint64_t halfStart_ = 0;
  struct SpareTable {
    void* base;  // null: the slot is empty
    std::size_t bytes;
    std::uint64_t freeSince;
  };
  SpareTable spareTables_[kSpareTableSlots] = {};
  std::size_t spareTableBytes_ = 0;
  std::uint64_t tableDecayDue_ = kNever;  // no spare table can be old enough before this time
  Policy policy_;
};

}  // namespace tev
