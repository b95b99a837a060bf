#include "binding/binding_arena.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <new>

#include "binding/binding_page_pool.h"
#include "platform/allocator.h"

namespace tev {
namespace {

// The header occupies the first blocks of a page, as many as it needs.
std::uint16_t headerBlocks(std::size_t blockSize) {
  return static_cast<std::uint16_t>((sizeof(BindingArena::PageHeader) + blockSize - 1) / blockSize);
}

void formatPage(BindingArena::PageHeader* page, std::size_t pageSize, std::size_t blockSize) {
  const std::size_t first = headerBlocks(blockSize);
  assert(first < pageSize / blockSize && "a page holds at least one block");
  page->next = nullptr;
  page->previous = nullptr;
  page->pageSize = static_cast<std::uint16_t>(pageSize);
  page->inUse = 0;
  page->firstFree = 0;
  page->untouched = static_cast<std::uint16_t>(first * blockSize);
}

void unlinkPage(BindingArena::PageHeader*& head, BindingArena::PageHeader* page) {
  if (page->previous != nullptr) {
    page->previous->next = page->next;
  } else {
    head = page->next;
  }
  if (page->next != nullptr) page->next->previous = page->previous;
  page->next = nullptr;
  page->previous = nullptr;
}

void pushPage(BindingArena::PageHeader*& head, BindingArena::PageHeader* page) {
  page->previous = nullptr;
  page->next = head;
  if (head != nullptr) head->previous = page;
  head = page;
}

}  // namespace

// Large tables come from the page pool, which keeps them for the next tree when this one goes;
// small ones from the heap.
BindingArena::Bucket* BindingArena::allocateBuckets(std::size_t count) {
  const std::size_t bytes = count * sizeof(Bucket);
  void* table = bytes >= BindingPagePool::kMinTableBytes
                    ? BindingPagePool::instance().acquireTable(bytes)
                    : hookedAllocate(bytes);
  if (table == nullptr) throw std::bad_alloc();
  return static_cast<Bucket*>(table);
}

void BindingArena::freeBuckets() noexcept {
  if (buckets_ == inlineBuckets_) return;
  const std::size_t bytes = bucketCount_ * sizeof(Bucket);
  if (bytes >= BindingPagePool::kMinTableBytes) {
    BindingPagePool::instance().releaseTable(buckets_, bytes);
  } else {
    hookedFree(buckets_);
  }
}

static_assert(sizeof(BindingArena::PageHeader) <= BindingArena::kInlinePageSize / 2);
static_assert(BindingArena::kPoolPageSize == BindingPagePool::kPageSize);

// Constant-initialised, so it is usable from any static initialiser.
constinit const internal::EmptyInternedEntry internal::emptyInternedEntry{};
static_assert(offsetof(internal::EmptyInternedEntry, terminator) == sizeof(InternedString),
              "the empty entry's text is the terminator right after it");

BindingArena::BindingArena() noexcept : buckets_(inlineBuckets_) {
  for (std::size_t index = 0; index < kClassCount; ++index) {
    classes_[index].freePages = nullptr;
    classes_[index].reserved = nullptr;
    classes_[index].poolPages = 0;
    classes_[index].blockSize = static_cast<std::uint16_t>(4 * (index + 1));
    classes_[index].reciprocal = reciprocal(classes_[index].blockSize);
    // Inline pages are formatted on first use: most trees touch only a few classes.
    classes_[index].inlineFormatted = false;
    classes_[index].inUse = 0;
  }
}

BindingArena::~BindingArena() {
  // A root that goes away drops its whole tree here instead of returning block by block; only
  // what lives outside the pages (entries of long texts) is freed one by one.
  for (HeapLink* link = heapLists_[static_cast<int>(HeapList::kStrings)]; link != nullptr;) {
    HeapLink* next = link->next;
    hookedFree(link);
    link = next;
  }
  freeBuckets();
  // The pages of a large tree lie far apart, and each list can only be followed one page
  // header at a time. So the lists are followed side by side, a page of each in turn, which
  // keeps several of those loads under way at once, and the pages go back in batches under
  // one lock of the pool.
  PageHeader* cursors[2 * kClassCount + kFullLists];
  std::size_t active = 0;
  for (SizeClass& sizeClass : classes_) {
    if (sizeClass.freePages != nullptr) cursors[active++] = sizeClass.freePages;
    if (sizeClass.reserved != nullptr) cursors[active++] = sizeClass.reserved;
  }
  for (PageHeader* list : fullPages_) {
    if (list != nullptr) cursors[active++] = list;
  }
  // Inline pages live in this object and stay with it.
  const auto self = reinterpret_cast<std::uintptr_t>(this);
  const auto isInline = [self](const PageHeader* page) {
    const auto address = reinterpret_cast<std::uintptr_t>(page);
    return address >= self && address < self + sizeof(BindingArena);
  };
  BindingPagePool& pool = BindingPagePool::instance();
  constexpr std::size_t kBatch = 64;
  void* batch[kBatch];
  std::size_t batched = 0;
  while (active != 0) {
    for (std::size_t index = 0; index < active;) {
      PageHeader* page = cursors[index];
      PageHeader* next = page->next;
      if (!isInline(page)) batch[batched++] = page;
      if (batched == kBatch) {
        pool.releasePages(batch, batched);
        batched = 0;
      }
      if (next != nullptr) {
        cursors[index++] = next;
      } else {
        cursors[index] = cursors[--active];
      }
    }
  }
  pool.releasePages(batch, batched);
}

void* BindingArena::allocateSlow(SizeClass& sizeClass) {
  PageHeader* page = sizeClass.freePages;
  if (page == nullptr) page = addPage(sizeClass);
  unsigned char* block;
  if (page->firstFree != 0) {
    block =
        reinterpret_cast<unsigned char*>(page) + std::size_t{page->firstFree} * sizeClass.blockSize;
    std::uint16_t next;
    std::memcpy(&next, block, sizeof(next));
    page->firstFree = next;
  } else {
    block = reinterpret_cast<unsigned char*>(page) + page->untouched;
    page->untouched = static_cast<std::uint16_t>(page->untouched + sizeClass.blockSize);
  }
  ++page->inUse;
  ++sizeClass.inUse;
  if (exhausted(*page, sizeClass.blockSize)) {
    // The page is full: it moves from the head of the list of pages with free blocks to a
    // list of full pages.
    sizeClass.freePages = page->next;
    if (page->next != nullptr) page->next->previous = nullptr;
    pushFull(page);
  }
  return block;
}

void BindingArena::pushFull(PageHeader* page) noexcept {
  pushPage(fullPages_[nextFullList_], page);
  nextFullList_ = (nextFullList_ + 1) % kFullLists;
}

void BindingArena::unlinkFull(PageHeader* page) noexcept {
  if (page->previous == nullptr) {
    // The head of one of the lists.
    for (PageHeader*& head : fullPages_) {
      if (head == page) {
        unlinkPage(head, page);
        return;
      }
    }
    assert(false && "a full page on no list");
  }
  PageHeader* unused = nullptr;
  unlinkPage(unused, page);
}

void* BindingArena::allocateLarge(std::size_t size) {
  void* block = hookedAllocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

BindingArena::PageHeader* BindingArena::addPage(SizeClass& sizeClass) {
  PageHeader* page;
  std::size_t pageSize;
  if (!sizeClass.inlineFormatted) {
    sizeClass.inlineFormatted = true;
    page = reinterpret_cast<PageHeader*>(sizeClass.inlinePage);
    pageSize = kInlinePageSize;
  } else {
    if (sizeClass.reserved == nullptr) takeRun(sizeClass);
    page = sizeClass.reserved;
    sizeClass.reserved = page->next;
    pageSize = kPoolPageSize;
  }
  formatPage(page, pageSize, sizeClass.blockSize);
  pushPage(sizeClass.freePages, page);
  return page;
}

void BindingArena::takeRun(SizeClass& sizeClass) {
  std::size_t wanted = 1 + sizeClass.poolPages / 4;
  if (wanted > kMaxRun) wanted = kMaxRun;
  void* pages[kMaxRun];
  const std::size_t taken = BindingPagePool::instance().acquirePages(pages, wanted);
  if (taken == 0) throw std::bad_alloc();
  // Linked through the pages' own headers, the lowest address first.
  for (std::size_t index = taken; index-- > 0;) {
    auto* page = static_cast<PageHeader*>(pages[index]);
    page->next = sizeClass.reserved;
    sizeClass.reserved = page;
  }
  sizeClass.poolPages += static_cast<std::uint32_t>(taken);
}

std::size_t BindingArena::poolPageCount() const {
  std::size_t count = 0;
  for (const SizeClass& sizeClass : classes_) count += sizeClass.poolPages;
  return count;
}

void BindingArena::release(void* block, std::size_t size) noexcept {
  if (block == nullptr) return;
  if (size > kMaxBlockSize) {
    hookedFree(block);
    return;
  }
  SizeClass& sizeClass = classes_[classIndex(size)];
  unsigned char* bytes = static_cast<unsigned char*>(block);
  const bool inInlinePage =
      bytes >= sizeClass.inlinePage && bytes < sizeClass.inlinePage + kInlinePageSize;
  // Pool pages are aligned to their size, so masking finds the header without a search.
  PageHeader* page =
      inInlinePage ? reinterpret_cast<PageHeader*>(sizeClass.inlinePage)
                   : reinterpret_cast<PageHeader*>(reinterpret_cast<std::uintptr_t>(bytes) &
                                                   ~static_cast<std::uintptr_t>(kPoolPageSize - 1));
  assert(page->inUse > 0 && "block released twice or into the wrong arena");
  if (exhausted(*page, sizeClass.blockSize)) {
    unlinkFull(page);
    pushPage(sizeClass.freePages, page);
  }
  const auto index = static_cast<std::uint16_t>(
      blockIndex(static_cast<std::size_t>(bytes - reinterpret_cast<unsigned char*>(page)),
                 sizeClass.reciprocal));
  std::memcpy(bytes, &page->firstFree, sizeof(std::uint16_t));
  page->firstFree = index;
  --page->inUse;
  --sizeClass.inUse;
  if (page->inUse == 0 && !inInlinePage) returnPage(sizeClass, page);
}

void BindingArena::returnPage(SizeClass& sizeClass, PageHeader* page) noexcept {
  unlinkPage(sizeClass.freePages, page);
  BindingPagePool& pool = BindingPagePool::instance();
  --sizeClass.poolPages;
  pool.releasePage(page);
  // A class with no block left in use gives back its reserve as well, and starts small again.
  if (sizeClass.inUse == 0) {
    while (sizeClass.reserved != nullptr) {
      PageHeader* reserved = sizeClass.reserved;
      sizeClass.reserved = reserved->next;
      --sizeClass.poolPages;
      pool.releasePage(reserved);
    }
  }
}

InternedString* BindingArena::findString(std::string_view text, std::uint32_t hash) const {
  const Bucket& bucket = buckets_[hash & (bucketCount_ - 1)];
  if ((bucket.tags & bucketTag(hash)) == 0) return nullptr;
  for (InternedString* entry = bucket.head; entry != nullptr; entry = entry->next) {
    if (entry->hash == hash && entry->equals(text)) return entry;
  }
  return nullptr;
}

const InternedString* BindingArena::internMissed(std::string_view text) {
  if (text.empty()) return &emptyInternedString();
  return internHashed(text, fnv1aHash(text), memoSet(text));
}

const InternedString* BindingArena::internCopy(const InternedString& other) {
  const std::string_view text = other.view();
  if (text.empty()) return &emptyInternedString();
  const std::size_t set = memoSet(text);
  if (InternedString* memo = memoHit(text, set)) return memo;
  return internHashed(text, other.hash, set);
}

const InternedString* BindingArena::internHashed(std::string_view text, std::uint32_t hash,
                                                 std::size_t set) {
  if (InternedString* entry = findString(text, hash)) {
    ++entry->references;
    promote(entry, set);
    return entry;
  }
  if (stringCount_ + 1 > bucketCount_) growBuckets();
  InternedString* entry = newStringEntry(text.size());
  entry->hash = hash;
  entry->references = 1;
  entry->length = static_cast<std::uint32_t>(text.size());
  char* bytes = reinterpret_cast<char*>(entry + 1);
  std::memcpy(bytes, text.data(), text.size());
  bytes[text.size()] = '\0';
  Bucket& bucket = buckets_[hash & (bucketCount_ - 1)];
  entry->next = bucket.head;
  bucket.head = entry;
  bucket.tags |= bucketTag(hash);
  ++stringCount_;
  memo_[set + 1] = entry;
  return entry;
}

void BindingArena::releaseString(const InternedString* constEntry) noexcept {
  if (constEntry == &emptyInternedString()) return;
  auto* entry = const_cast<InternedString*>(constEntry);
  assert(entry->references > 0 && "interned string released too often");
  if (--entry->references != 0) return;
  InternedString** link = &buckets_[entry->hash & (bucketCount_ - 1)].head;
  while (*link != entry) link = &(*link)->next;
  *link = entry->next;
  const std::size_t set = memoSet(entry->view());
  for (std::size_t way = 0; way < kMemoWays; ++way) {
    if (memo_[set + way] == entry) memo_[set + way] = nullptr;
  }
  deleteStringEntry(entry);
  if (--stringCount_ == 0 && buckets_ != inlineBuckets_) {
    freeBuckets();
    buckets_ = inlineBuckets_;
    bucketCount_ = kInitialBuckets;
    for (Bucket& bucket : inlineBuckets_) bucket = Bucket{};
  }
}

InternedString* BindingArena::newStringEntry(std::size_t length) {
  if (length > kMaxInternedLength) throw std::bad_alloc();
  const std::size_t size = stringEntrySize(length);
  if (size <= kMaxBlockSize) return ::new (allocate(size)) InternedString;
  void* block = hookedAllocate(sizeof(HeapLink) + size);
  if (block == nullptr) throw std::bad_alloc();
  auto* link = ::new (block) HeapLink;
  track(*link, HeapList::kStrings);
  return ::new (static_cast<void*>(link + 1)) InternedString;
}

void BindingArena::deleteStringEntry(InternedString* entry) noexcept {
  const std::size_t size = stringEntrySize(entry->length);
  if (size <= kMaxBlockSize) {
    release(entry, size);
    return;
  }
  HeapLink* link = reinterpret_cast<HeapLink*>(entry) - 1;
  untrack(*link, HeapList::kStrings);
  hookedFree(link);
}

std::uint32_t BindingArena::stringReferences(std::string_view text) const {
  if (text.empty()) return 0;
  const InternedString* entry = findString(text, fnv1aHash(text));
  return entry != nullptr ? entry->references : 0;
}

std::size_t BindingArena::bucketsFor(std::size_t count) noexcept {
  std::size_t buckets = kInitialBuckets;
  while (buckets < count && buckets <= (SIZE_MAX / sizeof(Bucket)) / 4) buckets *= 2;
  return buckets;
}

void BindingArena::reserveStrings(std::size_t count) {
  const std::size_t buckets = bucketsFor(count);
  if (buckets > bucketCount_) resizeBuckets(buckets);
}

void BindingArena::expectStrings(std::size_t count) noexcept {
  expectedBuckets_ = bucketsFor(count);
}

void BindingArena::resizeBuckets(std::size_t count) {
  Bucket* buckets = allocateBuckets(count);
  for (std::size_t index = 0; index < count; ++index) buckets[index] = Bucket{};
  // The entries lie all over the tree's pages: the first of each chain is fetched a few
  // buckets ahead, and once it has arrived, half-way there, the second. At a load of one a
  // third of the entries are not the first of their chain.
  constexpr std::size_t kAhead = 32;
  for (std::size_t index = 0; index < bucketCount_; ++index) {
    if (index + kAhead < bucketCount_) __builtin_prefetch(buckets_[index + kAhead].head);
    if (index + kAhead / 2 < bucketCount_) {
      const InternedString* head = buckets_[index + kAhead / 2].head;
      if (head != nullptr && head->next != nullptr) __builtin_prefetch(head->next);
    }
    InternedString* entry = buckets_[index].head;
    while (entry != nullptr) {
      InternedString* next = entry->next;
      Bucket& bucket = buckets[entry->hash & (count - 1)];
      entry->next = bucket.head;
      bucket.head = entry;
      bucket.tags |= bucketTag(entry->hash);
      entry = next;
    }
  }
  freeBuckets();
  buckets_ = buckets;
  bucketCount_ = count;
}

}  // namespace tev
