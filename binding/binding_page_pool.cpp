#include "binding/binding_page_pool.h"

#include <algorithm>
#include <cassert>
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
  static BindingPagePool* pool = ::new (storage) BindingPagePool();
  return *pool;
}

void* BindingPagePool::acquirePage() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (freeSet_.empty() && mapRegion() == nullptr) return nullptr;
  Region* region = freeSet_.front();
  if (region->freeCount == kPagesPerRegion) --spareCount_;
  unsigned char* page = region->freePages[--region->freeCount];
  if (region->freeCount == 0) leaveFreeSet(region);
  return page;
}

void BindingPagePool::releasePage(void* pageAddress) noexcept {
  auto* page = static_cast<unsigned char*>(pageAddress);
  std::lock_guard<std::mutex> lock(mutex_);
  Region* region = pages_.find(reinterpret_cast<std::uintptr_t>(page));
  assert(region != nullptr && "page does not come from the pool");
  if (region == nullptr) return;
  assert(region->freeCount < kPagesPerRegion && "page returned twice");
  region->freePages[region->freeCount++] = page;
  if (region->freeCount == kPagesPerRegion) {
    if (spareCount_ >= spareLimit_ || !region->inFreeSet) {
      unmapRegion(region);
      return;
    }
    ++spareCount_;
    return;
  }
  if (!region->inFreeSet) {
    // Entering the set needs room in it; when that fails the region simply stays out of the
    // set until it is released whole, which loses nothing but reuse.
    try {
      enterFreeSet(region);
    } catch (...) {
    }
  }
}

void BindingPagePool::releaseSpares(bool forGood) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  if (forGood) spareLimit_ = 0;
  // Unmapping erases from freeSet_, so collect the spares by walking from the back.
  for (std::size_t index = freeSet_.size(); index-- > 0 && !freeSet_.empty();) {
    Region* region = freeSet_[index];
    if (region->freeCount != kPagesPerRegion) continue;
    --spareCount_;
    unmapRegion(region);
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

std::size_t BindingPagePool::freePageCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t count = 0;
  for (const Region* region : freeSet_) count += region->freeCount;
  return count;
}

BindingPagePool::Region* BindingPagePool::mapRegion() {
  void* base = platform::virtualAllocate(kRegionSize);
  if (base == nullptr) return nullptr;
  Region* region = createObject<Region>();
  if (region == nullptr) {
    platform::virtualFree(base, kRegionSize);
    return nullptr;
  }
  region->base = static_cast<unsigned char*>(base);
  region->freeCount = 0;
  region->inFreeSet = false;
  // The page at the highest address goes in first, so pages are handed out in address order.
  for (std::size_t index = kPagesPerRegion; index-- > 0;) {
    unsigned char* page = region->base + index * kPageSize;
    if (!pages_.insert(reinterpret_cast<std::uintptr_t>(page), region)) break;
    region->freePages[region->freeCount++] = page;
  }
  bool entered = region->freeCount == kPagesPerRegion;
  if (entered) {
    try {
      enterFreeSet(region);
    } catch (...) {
      entered = false;
    }
  }
  if (!entered) {
    for (std::size_t index = 0; index < region->freeCount; ++index) {
      pages_.erase(reinterpret_cast<std::uintptr_t>(region->freePages[index]));
    }
    platform::virtualFree(base, kRegionSize);
    destroyObject(region);
    return nullptr;
  }
  ++regionCount_;
  ++spareCount_;  // wholly free until acquirePage takes its first page
  return region;
}

void BindingPagePool::unmapRegion(Region* region) noexcept {
  if (region->inFreeSet) leaveFreeSet(region);
  for (std::size_t index = 0; index < kPagesPerRegion; ++index) {
    pages_.erase(reinterpret_cast<std::uintptr_t>(region->base + index * kPageSize));
  }
  platform::virtualFree(region->base, kRegionSize);
  destroyObject(region);
  --regionCount_;
  if (regionCount_ == 0) {
    // The pool lives until the process ends, but a library that holds it may be unloaded
    // before that: with no page in use it keeps no heap storage behind.
    pages_.releaseStorage();
    Vector<Region*>().swap(freeSet_);
  }
}

void BindingPagePool::enterFreeSet(Region* region) {
  const auto position =
      std::lower_bound(freeSet_.begin(), freeSet_.end(), region,
                       [](const Region* a, const Region* b) { return a->base < b->base; });
  freeSet_.insert(position, region);
  region->inFreeSet = true;
}

void BindingPagePool::leaveFreeSet(Region* region) noexcept {
  const auto position =
      std::lower_bound(freeSet_.begin(), freeSet_.end(), region,
                       [](const Region* a, const Region* b) { return a->base < b->base; });
  if (position != freeSet_.end() && *position == region) freeSet_.erase(position);
  region->inFreeSet = false;
}

// PageMap

BindingPagePool::PageMap::~PageMap() { hookedFree(slots_); }

std::size_t BindingPagePool::PageMap::slotOf(std::uintptr_t page) const {
  // Fibonacci hashing of the page number; the table size is a power of two.
  const std::uint64_t number = static_cast<std::uint64_t>(page >> 12);
  return static_cast<std::size_t>((number * 0x9E3779B97F4A7C15ull) >> 32) & (capacity_ - 1);
}

BindingPagePool::Region* BindingPagePool::PageMap::find(std::uintptr_t page) const {
  if (capacity_ == 0 || (page & kPageMask) != 0) return nullptr;
  for (std::size_t slot = slotOf(page);; slot = (slot + 1) & (capacity_ - 1)) {
    if (slots_[slot].page == page) return slots_[slot].region;
    if (slots_[slot].page == 0) return nullptr;
  }
}

bool BindingPagePool::PageMap::insert(std::uintptr_t page, Region* region) {
  if ((count_ + 1) * 2 > capacity_ && !grow()) return false;
  std::size_t slot = slotOf(page);
  while (slots_[slot].page != 0) slot = (slot + 1) & (capacity_ - 1);
  slots_[slot] = {page, region};
  ++count_;
  return true;
}

void BindingPagePool::PageMap::erase(std::uintptr_t page) {
  if (capacity_ == 0) return;
  const std::size_t mask = capacity_ - 1;
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
  slots_[hole] = {0, nullptr};
  --count_;
}

void BindingPagePool::PageMap::releaseStorage() noexcept {
  hookedFree(slots_);
  slots_ = nullptr;
  capacity_ = 0;
  count_ = 0;
}

bool BindingPagePool::PageMap::grow() {
  const std::size_t capacity = capacity_ == 0 ? 64 : capacity_ * 2;
  auto* slots = static_cast<Slot*>(hookedAllocate(capacity * sizeof(Slot)));
  if (slots == nullptr) return false;
  for (std::size_t index = 0; index < capacity; ++index) slots[index] = {0, nullptr};
  Slot* old = slots_;
  const std::size_t oldCapacity = capacity_;
  slots_ = slots;
  capacity_ = capacity;
  for (std::size_t index = 0; index < oldCapacity; ++index) {
    if (old[index].page == 0) continue;
    std::size_t slot = slotOf(old[index].page);
    while (slots_[slot].page != 0) slot = (slot + 1) & (capacity_ - 1);
    slots_[slot] = old[index];
  }
  hookedFree(old);
  return true;
}

}  // namespace tev
