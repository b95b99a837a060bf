#include "binding/binding_arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "binding/binding_page_pool.h"
#include "platform/allocation_counters.h"
#include "platform/allocator.h"
#include "platform/allocator_hooks.h"

namespace tev {
namespace {

bool insideArena(const BindingArena& arena, const void* block) {
  const auto* begin = reinterpret_cast<const unsigned char*>(&arena);
  const auto* address = static_cast<const unsigned char*>(block);
  return address >= begin && address < begin + sizeof(BindingArena);
}

// Pages of the process-wide pool handed out and not back, to whichever arena.
std::size_t pagesInUse() {
  const BindingPagePool& pool = BindingPagePool::instance();
  return pool.mappedBytes() / BindingPagePool::kPageSize - pool.freePageCount();
}

std::uintptr_t pageOf(const void* block) {
  return reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t{4095};
}

TEST(FnvHash, MatchesTheReferenceValues) {
  EXPECT_EQ(fnv1aHash(""), 0x811C9DC5u);
  EXPECT_EQ(fnv1aHash("a"), 0xE40C292Cu);
  EXPECT_EQ(fnv1aHash("foobar"), 0xBF9CF968u);
  EXPECT_EQ(fnv1aHash("\xFF"), 0x7A0B824Eu);  // bytes are taken unsigned, not sign-extended
}

TEST(BindingArena, SizesRoundUpToEighteenClasses) {
  EXPECT_EQ(BindingArena::classIndex(0), 0u);
  EXPECT_EQ(BindingArena::classIndex(1), 0u);
  EXPECT_EQ(BindingArena::classIndex(4), 0u);
  EXPECT_EQ(BindingArena::classIndex(5), 1u);
  EXPECT_EQ(BindingArena::classIndex(40), 9u);
  EXPECT_EQ(BindingArena::classIndex(72), 17u);
}

TEST(BindingArena, BlockIndexByMultiplicationMatchesDivision) {
  for (std::size_t size = 4; size <= BindingArena::kMaxBlockSize; size += 4) {
    const std::uint32_t reciprocal = BindingArena::reciprocal(size);
    for (std::size_t offset = 0; offset < BindingArena::kPoolPageSize; ++offset) {
      ASSERT_EQ(BindingArena::blockIndex(offset, reciprocal), offset / size)
          << size << " " << offset;
    }
  }
}

TEST(BindingArena, EveryClassHandsOutDisjointAlignedBlocksAndTakesThemBack) {
  auto arena = makeUnique<BindingArena>();
  for (std::size_t size = 1; size <= BindingArena::kMaxBlockSize; ++size) {
    const std::size_t rounded = (size + 3) / 4 * 4;
    const std::size_t alignment = rounded % 8 == 0 ? 8 : 4;
    // Enough blocks to spill from the inline page into at least two pool pages.
    const std::size_t count = 2 * 4096 / rounded + 3;
    std::vector<unsigned char*> blocks;
    for (std::size_t i = 0; i < count; ++i) {
      auto* block = static_cast<unsigned char*>(arena->allocate(size));
      ASSERT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignment, 0u) << size;
      std::memset(block, static_cast<int>(i & 0xFF), size);
      blocks.push_back(block);
    }
    EXPECT_TRUE(insideArena(*arena, blocks.front())) << "the first block is inline";
    EXPECT_EQ(arena->blocksInUse(BindingArena::classIndex(size)), count);
    EXPECT_GE(arena->poolPageCount(), 2u);
    for (std::size_t i = 0; i < count; ++i) {
      for (std::size_t byte = 0; byte < size; ++byte) {
        ASSERT_EQ(blocks[i][byte], static_cast<unsigned char>(i & 0xFF)) << size << " " << i;
      }
    }
    for (unsigned char* block : blocks) arena->release(block, size);
    EXPECT_EQ(arena->blocksInUse(BindingArena::classIndex(size)), 0u);
    EXPECT_EQ(arena->poolPageCount(), 0u) << "emptied pool pages go back at once";
  }
}

TEST(BindingArena, InlinePageHoldsWhatFitsAfterItsHeader) {
  auto arena = makeUnique<BindingArena>();
  const std::size_t header = sizeof(BindingArena::PageHeader);
  for (std::size_t size : {4u, 40u, 72u}) {
    const std::size_t inlineBlocks = 144 / size - (header + size - 1) / size;
    std::vector<void*> blocks;
    for (std::size_t i = 0; i < inlineBlocks; ++i) {
      blocks.push_back(arena->allocate(size));
      EXPECT_TRUE(insideArena(*arena, blocks.back())) << size;
    }
    EXPECT_EQ(arena->poolPageCount(), 0u);
    void* spilled = arena->allocate(size);
    EXPECT_FALSE(insideArena(*arena, spilled));
    EXPECT_EQ(arena->poolPageCount(), 1u);
    // The pool page's header sits at the masked address: the first block follows it.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(spilled) - pageOf(spilled),
              (header + size - 1) / size * size);
    arena->release(spilled, size);
    for (void* block : blocks) arena->release(block, size);
  }
}

TEST(BindingArena, ReleasedBlockIsTheNextHandedOut) {
  auto arena = makeUnique<BindingArena>();
  std::vector<void*> blocks;
  for (int i = 0; i < 300; ++i) blocks.push_back(arena->allocate(24));
  arena->release(blocks[150], 24);
  EXPECT_EQ(arena->allocate(24), blocks[150]);
  arena->release(blocks[2], 24);  // inline page, which was full
  EXPECT_EQ(arena->allocate(24), blocks[2]);
  for (void* block : blocks) arena->release(block, 24);
}

TEST(BindingArena, APageIsFullOnlyOnceItsReleasedAndUntouchedBlocksAreGone) {
  auto arena = makeUnique<BindingArena>();
  constexpr std::size_t kSize = 40;
  const std::size_t perPage = 4096 / kSize - (sizeof(BindingArena::PageHeader) + kSize - 1) / kSize;
  const std::size_t inlineBlocks =
      144 / kSize - (sizeof(BindingArena::PageHeader) + kSize - 1) / kSize;
  std::vector<void*> blocks;
  for (std::size_t i = 0; i < inlineBlocks + perPage / 2; ++i)
    blocks.push_back(arena->allocate(kSize));
  ASSERT_EQ(arena->poolPageCount(), 1u);
  // Every third block back, then the page filled again: released blocks and untouched ones
  // together, and nothing handed out twice.
  std::vector<void*> kept;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (i % 3 == 0) {
      arena->release(blocks[i], kSize);
    } else {
      kept.push_back(blocks[i]);
    }
  }
  while (kept.size() < inlineBlocks + perPage) kept.push_back(arena->allocate(kSize));
  EXPECT_EQ(arena->poolPageCount(), 1u) << "the page holds exactly " << perPage << " blocks";
  std::vector<void*> sorted = kept;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  kept.push_back(arena->allocate(kSize));
  EXPECT_EQ(arena->poolPageCount(), 2u);
  for (void* block : kept) arena->release(block, kSize);
  EXPECT_EQ(arena->poolPageCount(), 0u);
}

TEST(BindingArena, DroppingATreeGivesEveryPageBackToThePool) {
  // Blocks of every class, some of the older ones given back, so that pages (the inline ones
  // among them) sit anywhere in the lists of free and full pages when the arena goes.
  const std::size_t before = pagesInUse();
  {
    auto arena = makeUnique<BindingArena>();
    std::mt19937 random(7);
    std::vector<std::pair<void*, std::size_t>> blocks;
    for (int i = 0; i < 20000; ++i) {
      const std::size_t size = 1 + random() % BindingArena::kMaxBlockSize;
      blocks.emplace_back(arena->allocate(size), size);
    }
    for (std::size_t i = 0; i < blocks.size() / 2; i += 4) {
      arena->release(blocks[i].first, blocks[i].second);
    }
    EXPECT_GT(arena->poolPageCount(), 100u);
    EXPECT_EQ(pagesInUse(), before + arena->poolPageCount());
  }
  EXPECT_EQ(pagesInUse(), before);
}

TEST(BindingArena, FullPagesServeAgainWhicheverListTheyWaitIn) {
  // Full pages wait on several lists in turn. A block given back from any of them, the head of
  // a list or a page inside one, makes its page serve again; a page emptied goes to the pool.
  auto arena = makeUnique<BindingArena>();
  constexpr std::size_t kSize = 48;
  std::vector<void*> blocks;
  while (arena->poolPageCount() < 30) blocks.push_back(arena->allocate(kSize));
  const std::size_t pages = arena->poolPageCount();
  std::mt19937 random(11);
  std::shuffle(blocks.begin(), blocks.end(), random);
  const std::size_t released = blocks.size() / 3;
  for (std::size_t i = 0; i < released; ++i) arena->release(blocks[i], kSize);
  blocks.erase(blocks.begin(), blocks.begin() + static_cast<std::ptrdiff_t>(released));
  for (std::size_t i = 0; i < released; ++i) blocks.push_back(arena->allocate(kSize));
  EXPECT_LE(arena->poolPageCount(), pages) << "released blocks serve before new pages";
  std::vector<void*> sorted = blocks;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  std::shuffle(blocks.begin(), blocks.end(), random);
  for (void* block : blocks) arena->release(block, kSize);
  EXPECT_EQ(arena->poolPageCount(), 0u);
  EXPECT_EQ(arena->blocksInUse(BindingArena::classIndex(kSize)), 0u);
}

TEST(BindingArena, AGrowingClassTakesPagesSideBySideAndGivesTheRestBackWhenEmpty) {
  // Two classes grow in turn, as a tree's nodes and texts do. Each takes pool pages in runs, so
  // that most of its pages follow one another in memory instead of alternating with the other
  // class's; the pages taken ahead count as held and go back when the class empties.
  const std::size_t before = pagesInUse();
  auto arena = makeUnique<BindingArena>();
  constexpr std::size_t kSizes[] = {48, 24};
  std::vector<void*> blocks[2];
  while (arena->poolPageCount() < 200) {
    for (std::size_t which = 0; which < 2; ++which) {
      blocks[which].push_back(arena->allocate(kSizes[which]));
    }
  }
  EXPECT_EQ(pagesInUse(), before + arena->poolPageCount());
  std::size_t used = 0;
  for (std::size_t which = 0; which < 2; ++which) {
    std::vector<std::uintptr_t> pages;
    for (void* block : blocks[which]) {
      if (insideArena(*arena, block)) continue;
      if (pages.empty() || pages.back() != pageOf(block)) pages.push_back(pageOf(block));
    }
    std::size_t adjacent = 0;
    for (std::size_t i = 1; i < pages.size(); ++i) adjacent += pages[i] == pages[i - 1] + 4096;
    EXPECT_GE(adjacent * 2, pages.size())
        << adjacent << " of " << pages.size() << " pages of " << kSizes[which] << "-byte blocks "
        << "follow the one before";
    used += pages.size();
  }
  EXPECT_LE((arena->poolPageCount() - used) * 5, arena->poolPageCount())
      << "at most a fifth of the pages held are taken ahead";
  for (std::size_t which = 0; which < 2; ++which) {
    for (void* block : blocks[which]) arena->release(block, kSizes[which]);
  }
  EXPECT_EQ(arena->poolPageCount(), 0u) << "an emptied class gives back its reserve too";
  EXPECT_EQ(pagesInUse(), before);
}

TEST(BindingArena, LargeBlocksComeFromTheHooks) {
  auto arena = makeUnique<BindingArena>();
  const AllocationSnapshot before = snapshot(processAllocationCounters());
  void* block = arena->allocate(73);
  EXPECT_EQ(snapshot(processAllocationCounters()).allocations, before.allocations + 1);
  arena->release(block, 73);
  EXPECT_EQ(snapshot(processAllocationCounters()).frees, before.frees + 1);
}

TEST(BindingArena, PoolPagesBypassTheHooks) {
  auto arena = makeUnique<BindingArena>();
  AllocationCounters counters;
  AllocatorHooks& hooks = allocatorHooks();
  const AllocatorHooks saved = hooks;
  hooks.context = &counters;
  std::vector<void*> blocks;
  for (int i = 0; i < 1000; ++i) blocks.push_back(arena->allocate(64));  // ~16 pool pages
  const std::size_t pages = arena->poolPageCount();
  for (void* block : blocks) arena->release(block, 64);
  hooks = saved;
  EXPECT_GE(pages, 15u);
  // Neither the pages nor the pool's records of them go through the hooks.
  EXPECT_EQ(counters.allocations.load(), 0u);
  EXPECT_EQ(counters.bytesAllocated.load(), 0u);
}

TEST(InternedStrings, EqualTextsShareOneEntryAndCountReferences) {
  auto arena = makeUnique<BindingArena>();
  const InternedString* first = arena->intern("key");
  const InternedString* second = arena->intern(std::string("key"));
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->hash, fnv1aHash("key"));
  EXPECT_EQ(arena->stringReferences("key"), 2u);
  EXPECT_EQ(arena->internedStringCount(), 1u);
  arena->retain(first);
  EXPECT_EQ(arena->stringReferences("key"), 3u);
  for (int i = 0; i < 3; ++i) arena->releaseString(first);
  EXPECT_EQ(arena->stringReferences("key"), 0u);
  EXPECT_EQ(arena->internedStringCount(), 0u);
}

TEST(InternedStrings, EmptyTextIsTheSharedUncountedEntry) {
  auto arena = makeUnique<BindingArena>();
  const InternedString* empty = arena->intern("");
  EXPECT_EQ(empty, &emptyInternedString());
  arena->retain(empty);
  arena->releaseString(empty);
  arena->releaseString(empty);
  EXPECT_EQ(arena->internedStringCount(), 0u);
  EXPECT_EQ(emptyInternedString().references, 0u);
}

// Short texts live in the arena's blocks, long ones on the heap; the boundary between the two
// and the text bytes themselves must not leak, overlap or lose their terminator.
TEST(InternedStrings, ShortAndLongTextsKeepTheirBytesAndGiveBackTheirMemory) {
  const AllocationSnapshot before = snapshot(processAllocationCounters());
  {
    auto arena = makeUnique<BindingArena>();
    std::vector<std::string> texts;
    for (std::size_t length = 1; length <= 200; ++length) {
      std::string text(length, ' ');
      for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + (length + i) % 26);
      texts.push_back(text);
    }
    std::vector<const InternedString*> entries;
    for (const std::string& text : texts) entries.push_back(arena->intern(text));
    for (std::size_t i = 0; i < texts.size(); ++i) {
      ASSERT_EQ(entries[i]->view(), texts[i]);
      EXPECT_EQ(entries[i]->data()[texts[i].size()], '\0') << "length " << texts[i].size();
      EXPECT_EQ(arena->intern(texts[i]), entries[i]);
    }
    // Every other entry goes (two references each); the rest stay for the arena's destructor.
    for (std::size_t i = 0; i < entries.size(); i += 2) {
      arena->releaseString(entries[i]);
      arena->releaseString(entries[i]);
    }
    EXPECT_EQ(arena->internedStringCount(), texts.size() / 2);
    for (std::size_t i = 1; i < texts.size(); i += 2)
      EXPECT_EQ(arena->intern(texts[i])->view(), texts[i]);
    EXPECT_EQ(emptyInternedString().view(), "");
    EXPECT_EQ(emptyInternedString().data()[0], '\0');
  }
  EXPECT_EQ(snapshot(processAllocationCounters()).bytesInUse(), before.bytesInUse());
}

TEST(InternedStrings, TableDoublesPastLoadOneAndResetsWhenEmpty) {
  auto arena = makeUnique<BindingArena>();
  EXPECT_EQ(arena->bucketCount(), 8u);
  std::vector<const InternedString*> entries;
  for (int i = 0; i < 8; ++i) entries.push_back(arena->intern("s" + std::to_string(i)));
  EXPECT_EQ(arena->bucketCount(), 8u);
  entries.push_back(arena->intern("s8"));
  EXPECT_EQ(arena->bucketCount(), 16u);
  for (int i = 9; i < 40; ++i) entries.push_back(arena->intern("s" + std::to_string(i)));
  EXPECT_EQ(arena->bucketCount(), 64u);
  // Every entry is still found after the rehashes.
  for (int i = 0; i < 40; ++i) EXPECT_EQ(arena->stringReferences("s" + std::to_string(i)), 1u);
  for (std::size_t i = 0; i + 1 < entries.size(); ++i) arena->releaseString(entries[i]);
  EXPECT_EQ(arena->bucketCount(), 64u);
  arena->releaseString(entries.back());
  EXPECT_EQ(arena->bucketCount(), 8u);
  const InternedString* again = arena->intern("again");
  EXPECT_EQ(arena->intern("again"), again);
  EXPECT_EQ(arena->stringReferences("again"), 2u);
  arena->releaseString(again);
  arena->releaseString(again);
  EXPECT_EQ(arena->internedStringCount(), 0u);
}

TEST(InternedStrings, AnExpectedCountIsTakenInOneStepOnlyOnceTextsComeInNumbers) {
  auto arena = makeUnique<BindingArena>();
  arena->expectStrings(5000);  // 8,192 buckets; the jump comes at the growth to 512
  std::vector<const InternedString*> entries;
  auto internUpTo = [&](std::size_t count) {
    while (entries.size() < count)
      entries.push_back(arena->intern("t" + std::to_string(entries.size())));
  };
  // A table with few texts grows as usual and allocates nothing for the estimate.
  internUpTo(100);
  EXPECT_EQ(arena->bucketCount(), 128u);
  internUpTo(256);
  EXPECT_EQ(arena->bucketCount(), 256u);
  internUpTo(257);
  EXPECT_EQ(arena->bucketCount(), 8192u);
  // Past the estimate it doubles again, and every entry is found after the rehashes.
  internUpTo(8193);
  EXPECT_EQ(arena->bucketCount(), 16384u);
  for (std::size_t i = 0; i < entries.size(); ++i)
    EXPECT_EQ(arena->stringReferences("t" + std::to_string(i)), 1u);
  for (const InternedString* entry : entries) arena->releaseString(entry);
  EXPECT_EQ(arena->bucketCount(), 8u);
  EXPECT_EQ(arena->internedStringCount(), 0u);
}

TEST(InternedStrings, ALargeTableTakenAgainKnowsNothingOfTheTreeBefore) {
  // Tables from 64 KB on are kept by the pool and handed to the next tree as they were.
  BindingPagePool::instance().releaseSpares();
  for (int round = 0; round < 3; ++round) {
    auto arena = makeUnique<BindingArena>();
    std::vector<const InternedString*> entries;
    for (int i = 0; i < 20000; ++i) {
      entries.push_back(arena->intern("r" + std::to_string(round) + "-" + std::to_string(i)));
    }
    EXPECT_GE(arena->bucketCount(), 16384u);
    EXPECT_EQ(arena->internedStringCount(), 20000u);
    for (int i = 0; i < 20000; i += 97) {
      EXPECT_EQ(arena->stringReferences("r" + std::to_string(round) + "-" + std::to_string(i)), 1u);
      if (round > 0) {
        EXPECT_EQ(arena->stringReferences("r0-" + std::to_string(i)), 0u);
      }
    }
    if (round == 1) {
      // Dropping every text resets the table, and its memory goes back to the pool.
      for (const InternedString* entry : entries) arena->releaseString(entry);
      EXPECT_EQ(arena->bucketCount(), 8u);
      EXPECT_GT(BindingPagePool::instance().spareTableBytes(), 0u);
    }
  }
  EXPECT_GT(BindingPagePool::instance().spareTableBytes(), 0u);
  BindingPagePool::instance().releaseSpares();
  EXPECT_EQ(BindingPagePool::instance().spareTableBytes(), 0u);
}

TEST(InternedStrings, CountsStayExactThroughARandomRunOfInternsAndReleases) {
  // Texts sharing their first and last bytes and their length land in the same memo sets; a
  // memo that kept a removed entry, or lost a count, shows up against the model.
  auto arena = makeUnique<BindingArena>();
  std::vector<std::string> texts;
  for (int i = 0; i < 40; ++i) texts.push_back("key" + std::to_string(100 + i) + "x");
  for (int i = 0; i < 10; ++i) texts.push_back(std::string(1, static_cast<char>('a' + i)));
  texts.push_back(std::string(40, 'z'));
  std::map<std::string, std::vector<const InternedString*>> held;
  std::mt19937 random(2024);
  for (int step = 0; step < 20000; ++step) {
    const std::string& text = texts[random() % texts.size()];
    std::vector<const InternedString*>& references = held[text];
    if (!references.empty() && random() % 2 == 0) {
      arena->releaseString(references.back());
      references.pop_back();
    } else {
      const InternedString* entry = arena->intern(text);
      ASSERT_EQ(entry->view(), text);
      if (!references.empty()) {
        ASSERT_EQ(entry, references.front()) << text;
      }
      references.push_back(entry);
    }
    ASSERT_EQ(arena->stringReferences(text), references.size()) << text << " at " << step;
  }
  std::size_t live = 0;
  for (const auto& [text, references] : held) live += references.empty() ? 0 : 1;
  EXPECT_EQ(arena->internedStringCount(), live);
  for (auto& [text, references] : held) {
    for (const InternedString* entry : references) arena->releaseString(entry);
  }
  EXPECT_EQ(arena->internedStringCount(), 0u);
}

TEST(BindingPagePool, PagesAreAlignedAndRegionsGoBackWhenWhollyFree) {
  BindingPagePool::Policy policy;
  policy.retainedBytes = 0;
  policy.maxRegionSize = BindingPagePool::kRegionSize;
  BindingPagePool pool(policy);
  std::vector<void*> pages;
  for (std::size_t i = 0; i < 2 * BindingPagePool::kPagesPerRegion + 1; ++i) {
    void* page = pool.acquirePage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(page) % 4096, 0u);
    pages.push_back(page);
  }
  EXPECT_EQ(pool.regionCount(), 3u);
  EXPECT_EQ(pool.freePageCount(), BindingPagePool::kPagesPerRegion - 1);
  void* last = pages.back();
  pool.releasePage(last);
  EXPECT_EQ(pool.regionCount(), 2u) << "a wholly free region goes back at once";
  // The first region: every page but one back, and it stays; the last one back, and it goes.
  for (std::size_t i = 1; i < BindingPagePool::kPagesPerRegion; ++i) pool.releasePage(pages[i]);
  EXPECT_EQ(pool.regionCount(), 2u);
  EXPECT_EQ(pool.acquirePage(), pages[1])
      << "a returned page, the lowest, is reused before a fresh one";
  pool.releasePage(pages[1]);
  pool.releasePage(pages[0]);
  EXPECT_EQ(pool.regionCount(), 1u);
  for (std::size_t i = BindingPagePool::kPagesPerRegion; i < pages.size() - 1; ++i) {
    pool.releasePage(pages[i]);
  }
  EXPECT_EQ(pool.regionCount(), 0u);
}

TEST(BindingPagePool, PagesComeInAddressOrderAndRunsSideBySideWhateverOrderTheyCameBackIn) {
  BindingPagePool::Policy policy;
  policy.maxRegionSize = BindingPagePool::kRegionSize;
  BindingPagePool pool(policy);
  constexpr std::size_t kPages = BindingPagePool::kPagesPerRegion;
  std::vector<unsigned char*> pages;
  for (std::size_t i = 0; i < kPages; ++i) {
    pages.push_back(static_cast<unsigned char*>(pool.acquirePage()));
  }
  for (std::size_t i = 1; i < pages.size(); ++i) EXPECT_EQ(pages[i], pages[i - 1] + 4096);

  // Back in a scattered order, as a tree's pages come back; taken again, in address order.
  for (std::size_t i = 0; i < kPages; ++i) pool.releasePage(pages[(i * 7) % kPages]);
  void* run[kPages];
  ASSERT_EQ(pool.acquirePages(run, 6), 6u);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(run[i], pages[i]);

  // A hole in the middle is filled first; a run stops at the end of its region.
  pool.releasePage(pages[2]);
  pool.releasePage(pages[3]);
  ASSERT_EQ(pool.acquirePages(run, kPages), kPages - 6 + 2);
  EXPECT_EQ(run[0], pages[2]);
  EXPECT_EQ(run[1], pages[3]);
  EXPECT_EQ(run[2], pages[6]);
  EXPECT_EQ(pool.freePageCount(), 0u);
  EXPECT_EQ(pool.regionCount(), 1u);

  // With no page free, a run comes from a new region.
  void* next = nullptr;
  ASSERT_EQ(pool.acquirePages(&next, 1), 1u);
  EXPECT_EQ(pool.regionCount(), 2u);
  pool.releasePage(next);
  for (unsigned char* page : pages) pool.releasePage(page);
  pool.releaseSpares();
  EXPECT_EQ(pool.regionCount(), 0u);
}

TEST(BindingPagePool, KeepsAFewWhollyFreeRegionsUntilToldToLetGo) {
  BindingPagePool::Policy policy;
  policy.retainedBytes = 2 * BindingPagePool::kRegionSize;
  policy.maxRegionSize = BindingPagePool::kRegionSize;
  BindingPagePool pool(policy);
  std::vector<void*> pages;
  for (std::size_t i = 0; i < 4 * BindingPagePool::kPagesPerRegion; ++i) {
    pages.push_back(pool.acquirePage());
  }
  for (void* page : pages) pool.releasePage(page);
  EXPECT_EQ(pool.regionCount(), 2u) << "two spares kept, the other regions unmapped";
  EXPECT_EQ(pool.spareRegionCount(), 2u);
  EXPECT_EQ(pool.freePageCount(), 2 * BindingPagePool::kPagesPerRegion);

  // A spare serves the next request without mapping anything, and stops being a spare.
  void* page = pool.acquirePage();
  EXPECT_EQ(pool.regionCount(), 2u);
  EXPECT_EQ(pool.spareRegionCount(), 1u);

  // Letting go for good unmaps the spares, and a region freed afterwards goes at once.
  pool.releaseSpares(/*forGood=*/true);
  EXPECT_EQ(pool.regionCount(), 1u) << "the region in use stays";
  pool.releasePage(page);
  EXPECT_EQ(pool.regionCount(), 0u);
  EXPECT_EQ(pool.spareRegionCount(), 0u);
}

TEST(BindingPagePool, SparesServeAgainAsTheyAreWithoutAnySystemCall) {
  BindingPagePool::Policy policy;
  policy.maxRegionSize = BindingPagePool::kRegionSize;
  BindingPagePool pool(policy);
  std::vector<unsigned char*> pages;
  for (std::size_t i = 0; i < 5 * BindingPagePool::kPagesPerRegion; ++i) {
    pages.push_back(static_cast<unsigned char*>(pool.acquirePage()));
    std::memset(pages.back(), 0xA5, BindingPagePool::kPageSize);
  }
  for (unsigned char* page : pages) pool.releasePage(page);
  EXPECT_EQ(pool.regionCount(), 5u) << "every region stays as a spare";
  EXPECT_EQ(pool.spareRegionCount(), 5u);

  // The same pages serve again, still holding what they held: nothing was discarded.
  const BindingPagePool::SystemCalls before = pool.systemCalls();
  std::vector<unsigned char*> again;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    again.push_back(static_cast<unsigned char*>(pool.acquirePage()));
    EXPECT_EQ(again.back()[0], 0xA5);
    EXPECT_EQ(again.back()[BindingPagePool::kPageSize - 1], 0xA5);
  }
  std::vector<unsigned char*> sortedBefore = pages;
  std::vector<unsigned char*> sortedAgain = again;
  std::sort(sortedBefore.begin(), sortedBefore.end());
  std::sort(sortedAgain.begin(), sortedAgain.end());
  EXPECT_EQ(sortedAgain, sortedBefore);
  EXPECT_EQ(pool.systemCalls().maps, before.maps);
  EXPECT_EQ(pool.systemCalls().unmaps, before.unmaps);
  for (unsigned char* page : again) pool.releasePage(page);
  pool.releaseSpares(/*forGood=*/true);
  EXPECT_EQ(pool.regionCount(), 0u);
  EXPECT_EQ(pool.mappedBytes(), 0u);
}

TEST(BindingPagePool, ManyRegionsComeAndGoInAnyOrder) {
  // Enough regions to grow the page map, the region records and the free set several times,
  // released in an order that empties regions while others fill again.
  BindingPagePool::Policy policy;
  policy.retainedBytes = 3 * BindingPagePool::kRegionSize;
  policy.maxRegionSize = BindingPagePool::kRegionSize;
  BindingPagePool pool(policy);
  constexpr std::size_t kRegions = 70;
  std::vector<void*> pages;
  for (std::size_t i = 0; i < kRegions * BindingPagePool::kPagesPerRegion; ++i) {
    void* page = pool.acquirePage();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(page) % 4096, 0u);
    pages.push_back(page);
  }
  EXPECT_EQ(pool.regionCount(), kRegions);
  std::vector<void*> sorted = pages;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  std::mt19937 random(7);
  std::shuffle(pages.begin(), pages.end(), random);
  const std::size_t half = pages.size() / 2;
  for (std::size_t i = 0; i < half; ++i) pool.releasePage(pages[i]);
  // Taken again: every page comes from a region still mapped or from a fresh one.
  for (std::size_t i = 0; i < half; ++i) {
    pages[i] = pool.acquirePage();
    ASSERT_NE(pages[i], nullptr);
  }
  sorted = pages;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  for (void* page : pages) pool.releasePage(page);
  EXPECT_EQ(pool.regionCount(), 3u);
  EXPECT_EQ(pool.spareRegionCount(), 3u);
  pool.releaseSpares();
  EXPECT_EQ(pool.regionCount(), 0u);
  void* again = pool.acquirePage();
  EXPECT_NE(again, nullptr) << "a pool that let everything go maps again";
  pool.releasePage(again);
}

TEST(BindingPagePool, HoldsNoHeapMemoryOnceEveryPageIsBack) {
  const AllocationSnapshot before = snapshot(processAllocationCounters());
  {
    BindingPagePool pool;
    std::vector<void*> pages;
    for (std::size_t i = 0; i < 3 * BindingPagePool::kPagesPerRegion; ++i) {
      pages.push_back(pool.acquirePage());
    }
    for (void* page : pages) pool.releasePage(page);
    pool.releaseSpares(/*forGood=*/true);
    EXPECT_EQ(pool.regionCount(), 0u);
    // What a library unloaded after its last value leaves of the pool: nothing.
    EXPECT_EQ(snapshot(processAllocationCounters()).bytesInUse(), before.bytesInUse());
  }
}

}  // namespace
}  // namespace tev
