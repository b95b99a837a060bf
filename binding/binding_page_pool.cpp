#include "binding/binding_page_pool.h"

#include <bit>
#include <cassert>
#include <cstring>
#include <new>

#include "platform/clock.h"
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
  static BindingPagePool* pool = ::new (storage) BindingPagePool(Policy{});
  return *pool;
}

std::uint64_t BindingPagePool::monotonicMilliseconds() { return platform::coarseMilliseconds(); }

BindingPagePool::BindingPagePool(const Policy& policy) noexcept
    : pages_(&calls_), regions_(&calls_), freeSet_(&calls_), policy_(policy) {
  if (policy_.maxRegionSize < kRegionSize) policy_.maxRegionSize = kRegionSize;
  if (policy_.maxRegionSize > kMaxRegionSize) policy_.maxRegionSize = kMaxRegionSize;
  policy_.maxRegionSize -= policy_.maxRegionSize % kRegionSize;
  if (policy_.clock == nullptr) policy_.clock = &monotonicMilliseconds;
}

BindingPagePool::~BindingPagePool() {
  assert(regionCount_ == spareCount_ && "a pool is destroyed while its pages are in use");
  releaseSpares(/*forGood=*/true);
}

void* BindingPagePool::acquirePage() {
  void* page = nullptr;
  return acquirePages(&page, 1) == 1 ? page : nullptr;
}

std::size_t BindingPagePool::acquirePages(void** pages, std::size_t count) {
  if (count == 0) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint64_t now = policy_.clock();
  observe(now);
  if (freeSetSize_ == 0 && !mapRegion(now)) return 0;
  const std::uint32_t index = freeSet_[0];
  Region& taken = region(index);
  if (taken.freeCount == taken.pageCount) {
    --spareCount_;
    spareBytes_ -= taken.bytes();
  }
  std::size_t given = 0;
  while (given < count && taken.freeCount != 0) {
    pages[given++] = pageAddress(taken, takeLowest(taken));
    --taken.freeCount;
  }
  if (taken.freeCount == 0) leaveFreeSet(index);
  inUseBytes_ += given * kPageSize;
  if (inUseBytes_ > peakNow_) peakNow_ = inUseBytes_;
  return given;
}

std::size_t BindingPagePool::takeLowest(Region& region) noexcept {
  std::size_t word = 0;
  while (region.freeBits[word] == 0 && word + 1 < kMaxPagesPerRegion / 64) ++word;
  const std::uint64_t bits = region.freeBits[word];
  assert(bits != 0 && "a region counted free pages it has not");
  region.freeBits[word] = bits & (bits - 1);
  return word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
}

void BindingPagePool::releasePage(void* page) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint64_t now = policy_.clock();
  releaseLocked(static_cast<unsigned char*>(page), now);
  observe(now);
}

void BindingPagePool::releasePages(void* const* pages, std::size_t count) noexcept {
  if (count == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint64_t now = policy_.clock();
  // A large tree's pages lie in many regions and their slots in the page map far apart: each
  // slot is fetched a few pages ahead, so that the lookups do not wait for memory one by one.
  constexpr std::size_t kAhead = 8;
  for (std::size_t i = 0; i < count && i < kAhead; ++i) {
    pages_.prefetch(reinterpret_cast<std::uintptr_t>(pages[i]));
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) pages_.prefetch(reinterpret_cast<std::uintptr_t>(pages[i + kAhead]));
    releaseLocked(static_cast<unsigned char*>(pages[i]), now);
  }
  observe(now);
}

void BindingPagePool::releaseLocked(unsigned char* page, std::uint64_t now) noexcept {
  const std::uint32_t index = pages_.find(reinterpret_cast<std::uintptr_t>(page));
  assert(index != kNoRegion && "page does not come from the pool");
  if (index == kNoRegion) return;
  inUseBytes_ -= kPageSize;
  Region& owner = region(index);
  const std::size_t number = static_cast<std::size_t>(page - owner.base) / kPageSize;
  const std::uint64_t bit = std::uint64_t{1} << (number % 64);
  assert((owner.freeBits[number / 64] & bit) == 0 && "page returned twice");
  owner.freeBits[number / 64] |= bit;
  ++owner.freeCount;
  // Entering the set needs room in it; when that fails the region simply stays out of the set
  // until it is wholly free, which loses nothing but reuse.
  if (!owner.inFreeSet && !enterFreeSet(index)) {
    if (owner.freeCount == owner.pageCount) unmapRegion(index);
  } else if (owner.freeCount == owner.pageCount) {
    becameSpare(index, now);
  }
}

void BindingPagePool::observe(std::uint64_t now) noexcept {
  // The peak of the last half to whole decay time, in two halves rolled lazily.
  const std::uint64_t half = policy_.decayMilliseconds / 2;
  if (now - halfStart_ >= half) {
    peakBefore_ = now - halfStart_ >= 2 * half ? 0 : peakNow_;
    peakNow_ = inUseBytes_;
    halfStart_ = now;
  }
  if (now >= decayDue_) decay(now);
  if (now >= tableDecayDue_) decayTables(now);
}

void BindingPagePool::becameSpare(std::uint32_t index, std::uint64_t now) noexcept {
  Region& spare = region(index);
  if (spareBytes_ + spare.bytes() > policy_.retainedBytes) {
    unmapRegion(index);
    return;
  }
  spare.freeSince = now;
  ++spareCount_;
  spareBytes_ += spare.bytes();
  const std::uint64_t due = now + policy_.decayMilliseconds;
  if (spareBytes_ > policy_.keptBytes && due < decayDue_) decayDue_ = due;
}

void BindingPagePool::decay(std::uint64_t now) noexcept {
  decayDue_ = kNever;
  // Spares that recent use needed stay even when old: a round of work slower than the decay
  // time must not lose the regions it is about to take again.
  const std::size_t recentPeak = peakNow_ > peakBefore_ ? peakNow_ : peakBefore_;
  std::size_t allowance = recentPeak > inUseBytes_ ? recentPeak - inUseBytes_ : 0;
  if (allowance < policy_.keptBytes) allowance = policy_.keptBytes;
  // Unmapping erases from the free set, so walk it from the back: the newest regions go first,
  // the oldest, which acquirePage prefers, stay as the kept floor.
  for (std::size_t position = freeSetSize_; position-- > 0 && position < freeSetSize_;) {
    if (spareBytes_ <= allowance) break;
    const std::uint32_t index = freeSet_[position];
    const Region& candidate = region(index);
    if (candidate.freeCount != candidate.pageCount) continue;
    if (now - candidate.freeSince >= policy_.decayMilliseconds) {
      --spareCount_;
      spareBytes_ -= candidate.bytes();
      unmapRegion(index);
    } else {
      const std::uint64_t due = candidate.freeSince + policy_.decayMilliseconds;
      if (due < decayDue_) decayDue_ = due;
    }
  }
  if (spareBytes_ <= policy_.keptBytes) {
    decayDue_ = kNever;
  } else {
    // Old spares kept for the recent peak are looked at again once the peak has moved on.
    const std::uint64_t nextHalf = halfStart_ + policy_.decayMilliseconds / 2;
    if (nextHalf < decayDue_) decayDue_ = nextHalf > now ? nextHalf : now + 1;
  }
}

void* BindingPagePool::acquireTable(std::size_t bytes) {
  assert(bytes >= kMinTableBytes && bytes % kPageSize == 0);
  std::lock_guard<std::mutex> lock(mutex_);
  observe(policy_.clock());
  // Of the spares of this size the newest, whose memory is the most likely to be cached.
  std::size_t found = kSpareTableSlots;
  for (std::size_t slot = 0; slot < kSpareTableSlots; ++slot) {
    const SpareTable& spare = spareTables_[slot];
    if (spare.base != nullptr && spare.bytes == bytes &&
        (found == kSpareTableSlots || spare.freeSince >= spareTables_[found].freeSince)) {
      found = slot;
    }
  }
  if (found != kSpareTableSlots) {
    void* table = spareTables_[found].base;
    spareTables_[found].base = nullptr;
    spareTableBytes_ -= bytes;
    return table;
  }
  void* table = platform::virtualAllocate(bytes);
  if (table != nullptr) ++calls_.maps;
  return table;
}

void BindingPagePool::releaseTable(void* table, std::size_t bytes) noexcept {
  if (table == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint64_t now = policy_.clock();
  observe(now);
  // Room under the bound and a slot, the oldest spares making way.
  while (bytes <= policy_.retainedTableBytes) {
    std::size_t empty = kSpareTableSlots;
    std::size_t oldest = kSpareTableSlots;
    for (std::size_t slot = 0; slot < kSpareTableSlots; ++slot) {
      const SpareTable& spare = spareTables_[slot];
      if (spare.base == nullptr) {
        empty = slot;
      } else if (oldest == kSpareTableSlots || spare.freeSince < spareTables_[oldest].freeSince) {
        oldest = slot;
      }
    }
    if (empty != kSpareTableSlots && spareTableBytes_ + bytes <= policy_.retainedTableBytes) {
      spareTables_[empty] = {table, bytes, now};
      spareTableBytes_ += bytes;
      const std::uint64_t due = now + policy_.decayMilliseconds;
      if (due < tableDecayDue_) tableDecayDue_ = due;
      return;
    }
    unmapTable(oldest);
  }
  platform::virtualFree(table, bytes);
  ++calls_.unmaps;
}

void BindingPagePool::unmapTable(std::size_t slot) noexcept {
  SpareTable& spare = spareTables_[slot];
  platform::virtualFree(spare.base, spare.bytes);
  ++calls_.unmaps;
  spareTableBytes_ -= spare.bytes;
  spare.base = nullptr;
}

void BindingPagePool::decayTables(std::uint64_t now) noexcept {
  tableDecayDue_ = kNever;
  for (std::size_t slot = 0; slot < kSpareTableSlots; ++slot) {
    const SpareTable& spare = spareTables_[slot];
    if (spare.base == nullptr) continue;
    if (now - spare.freeSince >= policy_.decayMilliseconds) {
      unmapTable(slot);
    } else {
      const std::uint64_t due = spare.freeSince + policy_.decayMilliseconds;
      if (due < tableDecayDue_) tableDecayDue_ = due;
    }
  }
}

void BindingPagePool::releaseSpares(bool forGood) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  if (forGood) {
    policy_.retainedBytes = 0;
    policy_.keptBytes = 0;
    policy_.retainedTableBytes = 0;
  }
  for (std::size_t slot = 0; slot < kSpareTableSlots; ++slot) {
    if (spareTables_[slot].base != nullptr) unmapTable(slot);
  }
  tableDecayDue_ = kNever;
  for (std::size_t position = freeSetSize_; position-- > 0 && position < freeSetSize_;) {
    const std::uint32_t index = freeSet_[position];
    const Region& candidate = region(index);
    if (candidate.freeCount != candidate.pageCount) continue;
    --spareCount_;
    spareBytes_ -= candidate.bytes();
    unmapRegion(index);
  }
  decayDue_ = kNever;
}

std::size_t BindingPagePool::regionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return regionCount_;
}

std::size_t BindingPagePool::spareRegionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return spareCount_;
}

std::size_t BindingPagePool::mappedBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mappedBytes_;
}

std::size_t BindingPagePool::spareBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return spareBytes_;
}

std::size_t BindingPagePool::freePageCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t count = 0;
  for (std::size_t position = 0; position < freeSetSize_; ++position) {
    count += region(freeSet_[position]).freeCount;
  }
  return count;
}

std::size_t BindingPagePool::spareTableBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return spareTableBytes_;
}

BindingPagePool::SystemCalls BindingPagePool::systemCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::size_t BindingPagePool::nextRegionSize() const {
  std::size_t size = mappedBytes_ < policy_.maxRegionSize ? mappedBytes_ : policy_.maxRegionSize;
  if (size < kRegionSize) size = kRegionSize;
  return size - size % kRegionSize;
}

bool BindingPagePool::mapRegion(std::uint64_t now) {
  // A record first: the unused list, or a new one at the end of the records.
  if (unusedRecord_ == kNoRegion && regionRecords_ == regions_.capacity() &&
      !regions_.reserve(regionRecords_ + 1, regionRecords_)) {
    return false;
  }
  if (freeSetSize_ == freeSet_.capacity() && !freeSet_.reserve(freeSetSize_ + 1, freeSetSize_)) {
    return false;
  }
  const std::size_t bytes = nextRegionSize();
  void* base = platform::virtualAllocate(bytes);
  if (base == nullptr) return false;
  ++calls_.maps;
  std::uint32_t index;
  if (unusedRecord_ != kNoRegion) {
    index = unusedRecord_;
    unusedRecord_ = region(index).nextUnused;
  } else {
    index = regionRecords_++;
  }
  Region& mapped = region(index);
  mapped.base = static_cast<unsigned char*>(base);
  mapped.freeSince = now;
  mapped.serial = nextSerial_++;
  mapped.pageCount = static_cast<std::uint32_t>(bytes / kPageSize);
  mapped.freeCount = 0;
  mapped.nextUnused = kNoRegion;
  mapped.inFreeSet = false;
  for (std::uint64_t& bits : mapped.freeBits) bits = 0;
  bool entered = true;
  for (std::size_t number = 0; number < mapped.pageCount; ++number) {
    if (!pages_.insert(reinterpret_cast<std::uintptr_t>(pageAddress(mapped, number)), index)) {
      entered = false;
      break;
    }
    mapped.freeBits[number / 64] |= std::uint64_t{1} << (number % 64);
    ++mapped.freeCount;
  }
  if (entered) entered = enterFreeSet(index);  // room was made above; cannot fail
  if (!entered) {
    for (std::size_t number = 0; number < mapped.freeCount; ++number) {
      pages_.erase(reinterpret_cast<std::uintptr_t>(pageAddress(mapped, number)));
    }
    platform::virtualFree(base, bytes);
    ++calls_.unmaps;
    mapped.base = nullptr;
    mapped.nextUnused = unusedRecord_;
    unusedRecord_ = index;
    return false;
  }
  ++regionCount_;
  mappedBytes_ += bytes;
  // Wholly free until acquirePage takes its first page, which it does at once.
  ++spareCount_;
  spareBytes_ += bytes;
  return true;
}

void BindingPagePool::unmapRegion(std::uint32_t index) noexcept {
  Region& unmapped = region(index);
  if (unmapped.inFreeSet) leaveFreeSet(index);
  for (std::size_t number = 0; number < unmapped.pageCount; ++number) {
    pages_.erase(reinterpret_cast<std::uintptr_t>(pageAddress(unmapped, number)));
  }
  platform::virtualFree(unmapped.base, unmapped.bytes());
  ++calls_.unmaps;
  mappedBytes_ -= unmapped.bytes();
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
  const std::uint64_t serial = region(index).serial;
  std::size_t low = 0;
  std::size_t high = freeSetSize_;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (region(freeSet_[middle]).serial < serial) {
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
  ++calls_->maps;
  if (keep != 0) std::memcpy(static_cast<void*>(items), items_, keep * sizeof(T));
  release();
  items_ = items;
  capacity_ = capacity;
  return true;
}

template <typename T>
void BindingPagePool::SystemArray<T>::release() noexcept {
  if (items_ != nullptr) {
    platform::virtualFree(items_, capacity_ * sizeof(T));
    ++calls_->unmaps;
  }
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
  SystemArray<Slot> old(slots_.calls());
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
