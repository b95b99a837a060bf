#include "binding/binding_page_pool.h"

#include <cassert>
#include <cstring>
#include <new>

#include "platform/virtual_memory.h"

namespace tev {
namespace {

constexpr std::uintptr_t kPageMask = BindingPagePool::kPageSize - 1;

// Gives the spares back when the library is unloaded or the process ends. Values destroyed after
// this runs (statics of other files) then unmap their regions as soon as they are wholly free.
struct ReleaseSparesAtUnload {
  ReleaseSparesAtUnload() = default;
  ReleaseSparesAtUnload(const ReleaseSparesAtUnload&) = delete;
  ReleaseSparesAtUnload& operator=(const ReleaseSparesAtUnload&) = delete;
  ~ReleaseSparesAtUnload() { BindingPagePool::instance().releaseSpares(/*forGood=*/true); }
};
const ReleaseSparesAtUnload releaseSparesAtUnload;

}  // namespace

BindingPagePool& BindingPagePool::instance() {
  // Never destroyed: arenas of static values may return pages during static destruction.
  alignas(BindingPagePool) static unsigned char storage[sizeof(BindingPagePool)];
  static BindingPagePool* pool =
      ::new (storage) BindingPagePool(kDefaultSpareRegions, kDefaultDiscardedSpareRegions);
  return *pool;
}

BindingPagePool::~BindingPagePool() {
  assert(regionCount_ == spareCount_ && "a pool is destroyed while its pages are in use");
  releaseSpares(/*forGood=*/true);
}

void* BindingPagePool::acquirePage() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (freeSetSize_ == 0 && !mapRegion()) return nullptr;
  const std::uint32_t index = freeSet_[0];
  Region& taken = region(index);
  if (taken.freeCount == kPagesPerRegion) --spareCount_;
  if (taken.discarded) {
    // The set holds discarded regions only: this one, its first, may lose the flag in place.
    taken.discarded = false;
    --discardedCount_;
  }
  unsigned char* page = pageAddress(taken, taken.freePages[--taken.freeCount]);
  if (taken.freeCount == 0) leaveFreeSet(index);
  return page;
}

void BindingPagePool::releasePage(void* pageAddressGiven) noexcept {
  auto* page = static_cast<unsigned char*>(pageAddressGiven);
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint32_t index = pages_.find(reinterpret_cast<std::uintptr_t>(page));
  assert(index != kNoRegion && "page does not come from the pool");
  if (index == kNoRegion) return;
  Region& owner = region(index);
  assert(owner.freeCount < kPagesPerRegion && "page returned twice");
  owner.freePages[owner.freeCount++] =
      static_cast<std::uint8_t>(static_cast<std::size_t>(page - owner.base) / kPageSize);
  // Entering the set needs room in it; when that fails the region simply stays out of the set
  // until it is wholly free, which loses nothing but reuse.
  if (!owner.inFreeSet && !enterFreeSet(index)) {
    if (owner.freeCount == kPagesPerRegion) unmapRegion(index);
    return;
  }
  if (owner.freeCount == kPagesPerRegion) {
    if (spareCount_ - discardedCount_ < spareLimit_) {
      ++spareCount_;
    } else if (discardedCount_ < discardedSpareLimit_) {
      platform::virtualDiscard(owner.base, kRegionSize);
      // Moves behind the kept regions; leaving the set first leaves room to enter it again.
      leaveFreeSet(index);
      owner.discarded = true;
      const bool entered = enterFreeSet(index);
      assert(entered);
      (void)entered;
      ++spareCount_;
      ++discardedCount_;
    } else {
      unmapRegion(index);
    }
  }
}

void BindingPagePool::releaseSpares(bool forGood) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  if (forGood) {
    spareLimit_ = 0;
    discardedSpareLimit_ = 0;
  }
  // Unmapping erases from the free set, so walk it from the back.
  for (std::size_t position = freeSetSize_; position-- > 0 && position < freeSetSize_;) {
    const std::uint32_t index = freeSet_[position];
    if (region(index).freeCount != kPagesPerRegion) continue;
    --spareCount_;
    if (region(index).discarded) --discardedCount_;
    unmapRegion(index);
  }
}

std::size_t BindingPagePool::regionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return regionCount_;
}

std::size_t BindingPagePool::spareRegionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return spareCount_;
}

std::size_t BindingPagePool::discardedRegionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return discardedCount_;
}

std::size_t BindingPagePool::freePageCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t count = 0;
  for (std::size_t position = 0; position < freeSetSize_; ++position) {
    count += region(freeSet_[position]).freeCount;
  }
  return count;
}

bool BindingPagePool::mapRegion() {
  // A record first: the unused list, or a new one at the end of the records.
  if (unusedRecord_ == kNoRegion && regionRecords_ == regions_.capacity() &&
      !regions_.reserve(regionRecords_ + 1, regionRecords_)) {
    return false;
  }
  if (freeSetSize_ == freeSet_.capacity() && !freeSet_.reserve(freeSetSize_ + 1, freeSetSize_)) {
    return false;
  }
  void* base = platform::virtualAllocate(kRegionSize);
  if (base == nullptr) return false;
  std::uint32_t index;
  if (unusedRecord_ != kNoRegion) {
    index = unusedRecord_;
    unusedRecord_ = region(index).nextUnused;
  } else {
    index = regionRecords_++;
  }
  Region& mapped = region(index);
  mapped.base = static_cast<unsigned char*>(base);
  mapped.freeCount = 0;
  mapped.nextUnused = kNoRegion;
  mapped.inFreeSet = false;
  mapped.discarded = false;
  // The page at the highest address goes in first, so pages are handed out in address order.
  bool entered = true;
  for (std::size_t number = kPagesPerRegion; number-- > 0;) {
    if (!pages_.insert(reinterpret_cast<std::uintptr_t>(pageAddress(mapped, number)), index)) {
      entered = false;
      break;
    }
    mapped.freePages[mapped.freeCount++] = static_cast<std::uint8_t>(number);
  }
  if (entered) entered = enterFreeSet(index);  // room was made above; cannot fail
  if (!entered) {
    for (std::size_t i = 0; i < mapped.freeCount; ++i) {
      pages_.erase(reinterpret_cast<std::uintptr_t>(pageAddress(mapped, mapped.freePages[i])));
    }
    platform::virtualFree(base, kRegionSize);
    mapped.nextUnused = unusedRecord_;
    unusedRecord_ = index;
    return false;
  }
  ++regionCount_;
  ++spareCount_;  // wholly free until acquirePage takes its first page
  return true;
}

void BindingPagePool::unmapRegion(std::uint32_t index) noexcept {
  Region& unmapped = region(index);
  if (unmapped.inFreeSet) leaveFreeSet(index);
  for (std::size_t number = 0; number < kPagesPerRegion; ++number) {
    pages_.erase(reinterpret_cast<std::uintptr_t>(pageAddress(unmapped, number)));
  }
  platform::virtualFree(unmapped.base, kRegionSize);
  unmapped.base = nullptr;
  unmapped.nextUnused = unusedRecord_;
  unusedRecord_ = index;
  --regionCount_;
  if (regionCount_ == 0) {
    // The pool lives until the process ends, but a library that holds it may be unloaded
    // before that: with no page in use it keeps nothing behind.
    pages_.releaseStorage();
    regions_.release();
    regionRecords_ = 0;
    unusedRecord_ = kNoRegion;
    freeSet_.release();
  }
}

std::size_t BindingPagePool::freeSetPosition(std::uint32_t index) const {
  const Region& placed = region(index);
  std::size_t low = 0;
  std::size_t high = freeSetSize_;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    const Region& other = region(freeSet_[middle]);
    if (other.discarded != placed.discarded ? placed.discarded : other.base < placed.base) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

bool BindingPagePool::enterFreeSet(std::uint32_t index) {
  if (freeSetSize_ == freeSet_.capacity() && !freeSet_.reserve(freeSetSize_ + 1, freeSetSize_)) {
    return false;
  }
  const std::size_t position = freeSetPosition(index);
  std::uint32_t* items = freeSet_.data();
  std::memmove(items + position + 1, items + position,
               (freeSetSize_ - position) * sizeof(std::uint32_t));
  items[position] = index;
  ++freeSetSize_;
  region(index).inFreeSet = true;
  return true;
}

void BindingPagePool::leaveFreeSet(std::uint32_t index) noexcept {
  const std::size_t position = freeSetPosition(index);
  if (position < freeSetSize_ && freeSet_[position] == index) {
    std::uint32_t* items = freeSet_.data();
    std::memmove(items + position, items + position + 1,
                 (freeSetSize_ - position - 1) * sizeof(std::uint32_t));
    --freeSetSize_;
  }
  region(index).inFreeSet = false;
}

// SystemArray

template <typename T>
bool BindingPagePool::SystemArray<T>::reserve(std::size_t count, std::size_t keep) {
  if (count <= capacity_) return true;
  std::size_t capacity = capacity_ == 0 ? kPageSize / sizeof(T) : capacity_ * 2;
  while (capacity < count) capacity *= 2;
  // Fresh virtual memory comes zeroed.
  auto* items = static_cast<T*>(platform::virtualAllocate(capacity * sizeof(T)));
  if (items == nullptr) return false;
  if (keep != 0) std::memcpy(static_cast<void*>(items), items_, keep * sizeof(T));
  release();
  items_ = items;
  capacity_ = capacity;
  return true;
}

template <typename T>
void BindingPagePool::SystemArray<T>::release() noexcept {
  if (items_ != nullptr) platform::virtualFree(items_, capacity_ * sizeof(T));
  items_ = nullptr;
  capacity_ = 0;
}

// PageMap

std::size_t BindingPagePool::PageMap::slotOf(std::uintptr_t page) const {
  // Fibonacci hashing of the page number; the table size is a power of two.
  const std::uint64_t number = static_cast<std::uint64_t>(page >> 12);
  return static_cast<std::size_t>((number * 0x9E3779B97F4A7C15ull) >> 32) & (slots_.capacity() - 1);
}

std::uint32_t BindingPagePool::PageMap::find(std::uintptr_t page) const {
  if (slots_.capacity() == 0 || (page & kPageMask) != 0) return kNoRegion;
  const std::size_t mask = slots_.capacity() - 1;
  for (std::size_t slot = slotOf(page);; slot = (slot + 1) & mask) {
    if (slots_[slot].page == page) return slots_[slot].region;
    if (slots_[slot].page == 0) return kNoRegion;
  }
}

bool BindingPagePool::PageMap::insert(std::uintptr_t page, std::uint32_t region) {
  if ((count_ + 1) * 2 > slots_.capacity() && !grow()) return false;
  const std::size_t mask = slots_.capacity() - 1;
  std::size_t slot = slotOf(page);
  while (slots_[slot].page != 0) slot = (slot + 1) & mask;
  slots_[slot] = {page, region};
  ++count_;
  return true;
}

void BindingPagePool::PageMap::erase(std::uintptr_t page) {
  if (slots_.capacity() == 0) return;
  const std::size_t mask = slots_.capacity() - 1;
  std::size_t slot = slotOf(page);
  while (slots_[slot].page != page) {
    if (slots_[slot].page == 0) return;
    slot = (slot + 1) & mask;
  }
  // Backward-shift deletion keeps every probe chain unbroken without tombstones.
  std::size_t hole = slot;
  for (std::size_t next = (hole + 1) & mask; slots_[next].page != 0; next = (next + 1) & mask) {
    const std::size_t home = slotOf(slots_[next].page);
    // Move the entry into the hole when its home slot does not lie cyclically in (hole, next].
    const bool homeBetween =
        hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
    if (!homeBetween) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = {0, 0};
  --count_;
}

void BindingPagePool::PageMap::releaseStorage() noexcept {
  slots_.release();
  count_ = 0;
}

bool BindingPagePool::PageMap::grow() {
  // Rehashing needs the old table beside the new one.
  SystemArray<Slot> old;
  old.swap(slots_);
  if (!slots_.reserve(old.capacity() == 0 ? 1 : old.capacity() * 2, 0)) {
    old.swap(slots_);
    return false;
  }
  const std::size_t mask = slots_.capacity() - 1;
  for (std::size_t index = 0; index < old.capacity(); ++index) {
    if (old[index].page == 0) continue;
    std::size_t slot = slotOf(old[index].page);
    while (slots_[slot].page != 0) slot = (slot + 1) & mask;
    slots_[slot] = old[index];
  }
  return true;
}

}  // namespace tev
