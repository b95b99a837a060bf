// BindingArena: the memory of one BindingProperty tree. It hands out small fixed-size blocks
// (4 to 72 bytes, 18 size classes) from pages and keeps the tree's interned strings. The root
// value owns it; destroying the arena frees every page and string still in it at once, without
// running the destructors of objects in its blocks. Not synchronised: one tree, one thread.
// Not for anything that outlives its tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "binding/interned_string.h"

namespace tev {

class BindingArena {
 public:
  static constexpr std::size_t kClassCount = 18;
  static constexpr std::size_t kMaxBlockSize = 72;
  static constexpr std::size_t kInlinePageSize = 144;
  static constexpr std::size_t kPoolPageSize = 4096;
  static constexpr std::size_t kInitialBuckets = 8;

  // The header at the start of every page. Its 16-bit fields are page size, blocks in use, the
  // index of the first released block (0: none) and the offset of the first block never handed
  // out. Released blocks hold the index of the next. Blocks past `untouched` are free without
  // being listed, so a fresh page is ready without writing a list through all of it: most trees
  // use a few blocks of a page.
  struct PageHeader {
    PageHeader* next;
    PageHeader* previous;
    std::uint16_t pageSize;
    std::uint16_t inUse;
    std::uint16_t firstFree;
    std::uint16_t untouched;
  };

  BindingArena() noexcept;
  // Returns every pool page, listed or full, and destroys the remaining interned strings.
  ~BindingArena();
  BindingArena(const BindingArena&) = delete;
  BindingArena& operator=(const BindingArena&) = delete;

  // A block of at least `size` bytes, aligned to the largest power of two dividing its rounded
  // size (up to 8). Sizes above kMaxBlockSize come from the allocation hooks. Throws
  // std::bad_alloc when no page can be had.
  [[nodiscard]] void* allocate(std::size_t size);
  // Returns a block; `size` is the size it was allocated with.
  void release(void* block, std::size_t size) noexcept;

  // The entry for `text` with one more reference (inserted with one reference when absent).
  // The empty text yields the shared empty entry. Inline for the common case, a text that was
  // interned a moment ago: readers intern every key of every record.
  const InternedString* intern(std::string_view text) {
    if (!text.empty()) {
      if (InternedString* memo = memoHit(text, memoSet(text))) return memo;
    }
    return internMissed(text);
  }
  // intern(entry->view()) for an entry of another arena: its hash is known already.
  const InternedString* internCopy(const InternedString& entry);
  // intern(text) when the text is among those interned a moment ago; null, with nothing done,
  // when it is not (or empty).
  const InternedString* internRecent(std::string_view text) {
    return text.empty() ? nullptr : memoHit(text, memoSet(text));
  }
  // intern(text) for a text whose fnv1aHash is known already.
  const InternedString* internHashed(std::string_view text, std::uint32_t hash) {
    if (text.empty()) return &emptyInternedString();
    return internHashed(text, hash, memoSet(text));
  }
  // Starts fetching the bucket of the string table that a text of this hash falls in.
  void prefetchBucket(std::uint32_t hash) const noexcept {
    __builtin_prefetch(&buckets_[hash & (bucketCount_ - 1)]);
  }
  // Sizes the string table for `count` entries in all, so that filling it does not rehash.
  void reserveStrings(std::size_t count);
  // Tells the string table that about `count` distinct texts may come. Once it has doubled its
  // way up to a sixteenth of the size that many need, it takes that size in one step instead of
  // rehashing every entry again at each further doubling. A table that never gets that far
  // allocates nothing for the estimate, so an estimate that was too high costs nothing unless
  // the texts come in numbers.
  void expectStrings(std::size_t count) noexcept;
  // One more reference to an entry of this arena (or the shared empty entry).
  void retain(const InternedString* entry) noexcept {
    if (entry != &emptyInternedString()) ++const_cast<InternedString*>(entry)->references;
  }
  // One reference less; the entry is removed at zero.
  void releaseString(const InternedString* entry) noexcept;

  // Payload headers that own heap memory (collection storage, blob bytes) link themselves here,
  // so that a dying root can free that memory without walking its tree.
  struct HeapLink {
    HeapLink* previous = nullptr;
    HeapLink* next = nullptr;
  };
  enum class HeapList { kCollections, kBlobs, kStrings };
  void track(HeapLink& link, HeapList list) noexcept {
    HeapLink*& head = heapLists_[static_cast<int>(list)];
    link.previous = nullptr;
    link.next = head;
    if (head != nullptr) head->previous = &link;
    head = &link;
  }
  void untrack(HeapLink& link, HeapList list) noexcept {
    if (link.previous != nullptr) {
      link.previous->next = link.next;
    } else {
      heapLists_[static_cast<int>(list)] = link.next;
    }
    if (link.next != nullptr) link.next->previous = link.previous;
  }
  HeapLink* tracked(HeapList list) const { return heapLists_[static_cast<int>(list)]; }

  // Introspection, for tests and diagnostics.
  std::size_t internedStringCount() const { return stringCount_; }
  std::size_t bucketCount() const { return bucketCount_; }
  // References held on `text`'s entry; 0 when absent.
  std::uint32_t stringReferences(std::string_view text) const;
  // Pool pages this arena holds now, those its classes took ahead included.
  std::size_t poolPageCount() const;
  // Blocks in use in size class `index` (block size 4 * (index + 1)).
  std::size_t blocksInUse(std::size_t classIndex) const { return classes_[classIndex].inUse; }

  static constexpr std::size_t classIndex(std::size_t size) {
    return size == 0 ? 0 : (size + 3) / 4 - 1;
  }

  // offset / blockSize for offsets inside a page, by multiplication: releasing a block needs
  // its index, and a division by a run-time size costs more than the rest of the release.
  static constexpr std::uint32_t kReciprocalShift = 19;
  static constexpr std::uint32_t reciprocal(std::size_t blockSize) {
    return static_cast<std::uint32_t>(((std::uint32_t{1} << kReciprocalShift) + blockSize - 1) /
                                      blockSize);
  }
  static constexpr std::size_t blockIndex(std::size_t offset, std::uint32_t reciprocalOfSize) {
    return (static_cast<std::uint32_t>(offset) * reciprocalOfSize) >> kReciprocalShift;
  }

 private:
  struct SizeClass {
    PageHeader* freePages;    // pages of this class with at least one free block
    PageHeader* reserved;     // pool pages taken for this class and not yet formatted
    std::uint32_t poolPages;  // pool pages the class holds, reserved ones included
    std::uint16_t blockSize;
    bool inlineFormatted;
    std::uint32_t reciprocal;  // of blockSize, for blockIndex
    std::size_t inUse;
    alignas(8) unsigned char inlinePage[kInlinePageSize];
  };

  // Whether no block of the page is free, listed or untouched.
  static bool exhausted(const PageHeader& page, std::size_t blockSize) {
    return page.firstFree == 0 && page.untouched + blockSize > page.pageSize;
  }
  static void* allocateLarge(std::size_t size);
  void* allocateSlow(SizeClass& sizeClass);
  PageHeader* addPage(SizeClass& sizeClass);
  // A class that grows takes pool pages in runs, at most kMaxRun and a quarter of what it holds,
  // which the pool hands out side by side where it can: the class's blocks then follow one
  // another across its pages, and a walk over them, the copier's fetching ahead included, stays
  // in the class. At most a fifth of a class's pages wait unformatted.
  static constexpr std::size_t kMaxRun = 16;
  void takeRun(SizeClass& sizeClass);
  void returnPage(SizeClass& sizeClass, PageHeader* page) noexcept;
  InternedString* findString(std::string_view text, std::uint32_t hash) const;
  // An entry's block: the entry, its text and a terminator. Blocks up to kMaxBlockSize come
  // from the pages, larger ones from the heap behind a link on the kStrings list.
  // Rounded to the entry's alignment, which makes the block's class align it.
  static constexpr std::size_t stringEntrySize(std::size_t length) {
    constexpr std::size_t kAlign = alignof(InternedString);
    return (sizeof(InternedString) + length + 1 + kAlign - 1) & ~(kAlign - 1);
  }
  static constexpr std::size_t kMaxInternedLength = 0xFFFFFFFFu - sizeof(InternedString) - 64;
  // An uninitialised entry with room for `length` bytes and a terminator; throws
  // std::bad_alloc when no memory can be had.
  InternedString* newStringEntry(std::size_t length);
  void deleteStringEntry(InternedString* entry) noexcept;
  // intern() when neither way of the text's memo set holds it.
  const InternedString* internMissed(std::string_view text);
  const InternedString* internHashed(std::string_view text, std::uint32_t hash, std::size_t set);
  // Recently interned entries, checked before hashing: trees intern the same few keys over and
  // over. Two ways per set, picked by a cheap digest of the text. An entry found again moves to
  // the first way; a new entry goes into the second, so that texts seen once per record (names,
  // identifiers) never push out the keys that every record repeats. Entries leave the memo when
  // they are removed.
  static constexpr std::size_t kMemoSets = 64;
  static constexpr std::size_t kMemoWays = 2;
  static std::size_t memoSet(std::string_view text) {
    const std::size_t size = text.size();
    const char* bytes = text.data();
    std::uint32_t head;
    std::uint32_t tail;
    if (size >= 4) {
      std::memcpy(&head, bytes, 4);
      std::memcpy(&tail, bytes + size - 4, 4);
    } else {
      head = static_cast<unsigned char>(bytes[0]) |
             static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[size / 2])) << 8;
      tail = static_cast<unsigned char>(bytes[size - 1]);
    }
    const std::uint32_t digest =
        head * 0x9E3779B1u ^ (tail + static_cast<std::uint32_t>(size)) * 0x85EBCA77u;
    return (digest >> 26) * kMemoWays;  // the top six bits pick one of kMemoSets sets
  }
  // The entry for `text` when either way of its memo set holds it, with one more reference;
  // null otherwise. Two texts that share a set and alternate, as keys of one record may, each
  // find the other in front; both ways are looked at so that neither goes the long way.
  InternedString* memoHit(std::string_view text, std::size_t set) noexcept {
    if (InternedString* memo = memo_[set]; memo != nullptr && memo->equals(text)) {
      ++memo->references;
      return memo;
    }
    if (InternedString* memo = memo_[set + 1]; memo != nullptr && memo->equals(text)) {
      ++memo->references;
      promote(memo, set);
      return memo;
    }
    return nullptr;
  }
  void promote(InternedString* entry, std::size_t set) noexcept {
    memo_[set + 1] = memo_[set];
    memo_[set] = entry;
  }
  // The table size for `count` entries at a load of at most one: a power of two, at least
  // kInitialBuckets.
  static std::size_t bucketsFor(std::size_t count) noexcept;
  static constexpr std::size_t kExpectedJump = 16;
  void growBuckets() {
    std::size_t count = bucketCount_ * 2;
    if (expectedBuckets_ > count && count >= expectedBuckets_ / kExpectedJump) {
      count = expectedBuckets_;
    }
    resizeBuckets(count);
  }
  void resizeBuckets(std::size_t count);

  SizeClass classes_[kClassCount];
  // Pages with no free block, of every class, kept so that the arena can return them wholesale.
  // They are spread over several lists in turn: a dying arena follows the lists side by side,
  // and a single list of thousands of pages, followed one header at a time, would wait for
  // memory at every page.
  static constexpr std::size_t kFullLists = 8;
  PageHeader* fullPages_[kFullLists] = {};
  std::size_t nextFullList_ = 0;
  void pushFull(PageHeader* page) noexcept;
  void unlinkFull(PageHeader* page) noexcept;

  // A bucket of the string table: its chain, and a bit for each entry that was linked into it
  // since the bucket was last filled afresh, picked by the top five bits of the entry's hash.
  // A lookup whose bit is clear misses without touching any entry, which in a large table
  // saves a cache miss per text seen for the first time. Removing an entry leaves its bit set:
  // a stale bit only costs a walk of the chain, and resizing sets the bits afresh.
  struct Bucket {
    InternedString* head;
    std::uint32_t tags;
  };
  static std::uint32_t bucketTag(std::uint32_t hash) { return std::uint32_t{1} << (hash >> 27); }
  // Storage for a table of `count` buckets, uninitialised; throws std::bad_alloc.
  static Bucket* allocateBuckets(std::size_t count);
  // Gives back buckets_ unless it is the inline table.
  void freeBuckets() noexcept;

  Bucket* buckets_;
  std::size_t bucketCount_ = kInitialBuckets;
  std::size_t expectedBuckets_ = 0;  // from expectStrings; 0 for none
  std::size_t stringCount_ = 0;
  Bucket inlineBuckets_[kInitialBuckets] = {};
  InternedString* memo_[kMemoSets * kMemoWays] = {};
  HeapLink* heapLists_[3] = {};
};

static_assert(sizeof(void*) != 4 || sizeof(BindingArena::PageHeader) == 16,
              "a page header is 16 bytes on the 32-bit build");

// The common case inline: a fresh stretch of the class's current page, with room for another
// block after it. Reused blocks, page changes and the last block of a page take allocateSlow.
inline void* BindingArena::allocate(std::size_t size) {
  if (size > kMaxBlockSize) return allocateLarge(size);
  SizeClass& sizeClass = classes_[classIndex(size)];
  if (PageHeader* page = sizeClass.freePages; page != nullptr && page->firstFree == 0) {
    const std::size_t offset = page->untouched;
    const std::size_t next = offset + sizeClass.blockSize;
    if (next + sizeClass.blockSize <= page->pageSize) {
      page->untouched = static_cast<std::uint16_t>(next);
      ++page->inUse;
      ++sizeClass.inUse;
      return reinterpret_cast<unsigned char*>(page) + offset;
    }
  }
  return allocateSlow(sizeClass);
}

}  // namespace tev
