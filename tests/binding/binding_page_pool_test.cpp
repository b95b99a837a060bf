#include "binding/binding_page_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "binding/binding_property.h"

namespace tev {
namespace {

std::uint64_t fakeNow = 0;
std::uint64_t fakeClock() { return fakeNow; }

constexpr std::size_t kMiB = std::size_t{1} << 20;

BindingPagePool::Policy fakeClockPolicy(std::size_t retained, std::size_t kept) {
  BindingPagePool::Policy policy;
  policy.retainedBytes = retained;
  policy.keptBytes = kept;
  policy.decayMilliseconds = 1000;
  policy.clock = &fakeClock;
  return policy;
}

std::vector<void*> acquire(BindingPagePool& pool, std::size_t count) {
  std::vector<void*> pages;
  for (std::size_t i = 0; i < count; ++i) pages.push_back(pool.acquirePage());
  return pages;
}

void release(BindingPagePool& pool, const std::vector<void*>& pages) {
  for (void* page : pages) pool.releasePage(page);
}

std::uint64_t systemCallCount(const BindingPagePool& pool) {
  const BindingPagePool::SystemCalls calls = pool.systemCalls();
  return calls.maps + calls.unmaps;
}

constexpr std::size_t kPagesPerMiB = kMiB / BindingPagePool::kPageSize;

TEST(BindingPagePoolRelease, SparesGoBackOnlyAtTheFirstOperationAfterTheDecayTime) {
  fakeNow = 5000;
  BindingPagePool pool(fakeClockPolicy(/*retained=*/64 * kMiB, /*kept=*/kMiB));
  const std::vector<void*> burst = acquire(pool, 16 * kPagesPerMiB);
  release(pool, burst);
  const std::size_t burstBytes = pool.mappedBytes();
  EXPECT_GE(burstBytes, 16 * kMiB);
  EXPECT_EQ(pool.spareBytes(), burstBytes) << "a burst leaves its memory mapped";

  // The host goes quiet: time passes, nothing happens without an operation.
  fakeNow += 999;
  void* page = pool.acquirePage();
  pool.releasePage(page);
  EXPECT_EQ(pool.mappedBytes(), burstBytes) << "not yet unused for the decay time";
  fakeNow += 60000;
  EXPECT_EQ(pool.mappedBytes(), burstBytes) << "released only by a pool operation";

  // The first operation after the decay time returns the spares down to the kept floor.
  const std::uint64_t unmapsBefore = pool.systemCalls().unmaps;
  page = pool.acquirePage();
  EXPECT_LE(pool.mappedBytes(), kMiB + BindingPagePool::kMaxRegionSize);
  EXPECT_GT(pool.systemCalls().unmaps, unmapsBefore);
  pool.releasePage(page);
  EXPECT_LE(pool.spareBytes(), kMiB + BindingPagePool::kMaxRegionSize);

  // What stays goes with releaseSpares, as on Shutdown.
  pool.releaseSpares();
  EXPECT_EQ(pool.mappedBytes(), 0u);
}

TEST(BindingPagePoolRelease, RegionsInUseKeepTheirMemoryAndRecentlyUsedSparesStay) {
  fakeNow = 0;
  BindingPagePool pool(fakeClockPolicy(/*retained=*/64 * kMiB, /*kept=*/0));
  const std::vector<void*> held = acquire(pool, 3);
  const std::vector<void*> burst = acquire(pool, 8 * kPagesPerMiB);
  release(pool, burst);
  // Half a decay later a smaller burst reuses some of the spares, which start aging anew.
  fakeNow += 600;
  const std::vector<void*> second = acquire(pool, 2 * kPagesPerMiB);
  release(pool, second);
  fakeNow += 600;
  void* page = pool.acquirePage();
  pool.releasePage(page);
  // The spares of the first burst that the second did not touch are gone; the second's stay.
  EXPECT_GE(pool.spareBytes(), 2 * kMiB - BindingPagePool::kMaxRegionSize);
  EXPECT_LE(pool.spareBytes(), 2 * kMiB + 2 * BindingPagePool::kMaxRegionSize);
  fakeNow += 1000;
  page = pool.acquirePage();
  pool.releasePage(page);
  EXPECT_EQ(pool.spareBytes(), 0u) << "no floor: every aged spare goes";
  EXPECT_GT(pool.mappedBytes(), 0u) << "the region of the held pages stays";
  release(pool, held);
  pool.releaseSpares();
  EXPECT_EQ(pool.regionCount(), 0u);
}

TEST(BindingPagePoolRelease, SparesNeverExceedTheBoundAndComeBackAfterTheDecay) {
  fakeNow = 100;
  constexpr std::size_t kBound = 6 * kMiB;
  BindingPagePool pool(fakeClockPolicy(kBound, /*kept=*/kMiB));
  std::mt19937 random(17);
  std::vector<void*> live;
  for (int step = 0; step < 40; ++step) {
    // Bursts of up to 16 MB, more than the bound, released in random order.
    const std::size_t count =
        std::uniform_int_distribution<std::size_t>(1, 16 * kPagesPerMiB)(random);
    std::vector<void*> burst = acquire(pool, count);
    ASSERT_EQ(std::count(burst.begin(), burst.end(), nullptr), 0);
    std::shuffle(burst.begin(), burst.end(), random);
    const std::size_t keep = step % 5 == 0 ? 3 : 0;
    live.insert(live.end(), burst.begin(), burst.begin() + keep);
    for (std::size_t i = keep; i < burst.size(); ++i) {
      pool.releasePage(burst[i]);
      ASSERT_LE(pool.spareBytes(), kBound);
    }
    EXPECT_LE(pool.spareBytes(), kBound);
    fakeNow += std::uniform_int_distribution<std::uint64_t>(0, 400)(random);
  }
  fakeNow += 1000;
  void* page = pool.acquirePage();
  pool.releasePage(page);
  EXPECT_LE(pool.spareBytes(), kMiB + BindingPagePool::kMaxRegionSize);
  const std::size_t inUse = live.size() * BindingPagePool::kPageSize;
  EXPECT_LE(pool.mappedBytes(),
            pool.spareBytes() + inUse + live.size() * BindingPagePool::kMaxRegionSize);
  release(pool, live);
  pool.releaseSpares();
  EXPECT_EQ(pool.mappedBytes(), 0u);
}

TEST(BindingPagePoolRelease, RegionsGrowWithDemandUpToTheLargestSize) {
  BindingPagePool pool(fakeClockPolicy(/*retained=*/64 * kMiB, /*kept=*/0));
  const std::vector<void*> pages = acquire(pool, 32 * kPagesPerMiB);
  EXPECT_EQ(pool.mappedBytes(), 32 * kMiB);
  // 64 KB, 64 KB, 128 KB, ... 1 MB, 2 MB, then 2 MB each: 21 regions where 16-page ones took
  // 512.
  EXPECT_LE(pool.regionCount(), 40u);
  EXPECT_LE(pool.systemCalls().maps, 40u + 16u) << "regions and a few record arrays";
  release(pool, pages);
  pool.releaseSpares();
  EXPECT_EQ(pool.mappedBytes(), 0u);
}

TEST(BindingPagePoolTables, TablesServeAgainBySizeWithinTheBoundAndGoBackAfterTheDecay) {
  fakeNow = 0;
  BindingPagePool::Policy policy = fakeClockPolicy(/*retained=*/64 * kMiB, /*kept=*/kMiB);
  policy.retainedTableBytes = kMiB;
  BindingPagePool pool(policy);
  constexpr std::size_t kSmall = BindingPagePool::kMinTableBytes;

  auto* table = static_cast<unsigned char*>(pool.acquireTable(kSmall));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table[0], 0u) << "fresh tables are zeroed";
  EXPECT_EQ(table[kSmall - 1], 0u);
  std::memset(table, 0x5A, kSmall);
  pool.releaseTable(table, kSmall);
  EXPECT_EQ(pool.spareTableBytes(), kSmall);

  // Another size maps its own; the same size takes the spare as it is, without a system call.
  void* larger = pool.acquireTable(2 * kSmall);
  const std::uint64_t calls = systemCallCount(pool);
  auto* again = static_cast<unsigned char*>(pool.acquireTable(kSmall));
  EXPECT_EQ(again, table);
  EXPECT_EQ(again[kSmall - 1], 0x5A);
  EXPECT_EQ(systemCallCount(pool), calls);
  pool.releaseTable(again, kSmall);
  pool.releaseTable(larger, 2 * kSmall);

  // Tables handed back beyond the bound push out the oldest spares; one larger than the bound
  // goes back at once.
  std::vector<void*> tables;
  for (int i = 0; i < 6; ++i) tables.push_back(pool.acquireTable(4 * kSmall));
  for (void* each : tables) {
    fakeNow += 10;
    pool.releaseTable(each, 4 * kSmall);
    EXPECT_LE(pool.spareTableBytes(), kMiB);
  }
  EXPECT_EQ(pool.spareTableBytes(), 4 * 4 * kSmall) << "the four newest";
  const std::uint64_t unmaps = pool.systemCalls().unmaps;
  pool.releaseTable(pool.acquireTable(2 * kMiB), 2 * kMiB);
  EXPECT_EQ(pool.systemCalls().unmaps, unmaps + 1);
  EXPECT_EQ(pool.spareTableBytes(), 4 * 4 * kSmall);

  // Spare tables go at the first pool operation after the decay time, with no floor.
  fakeNow += 900;  // the oldest spare has waited 930 ms of the 1,000
  pool.releasePage(pool.acquirePage());
  EXPECT_EQ(pool.spareTableBytes(), 4 * 4 * kSmall) << "not yet unused for the decay time";
  fakeNow += 60000;
  EXPECT_EQ(pool.spareTableBytes(), 4 * 4 * kSmall) << "released only by a pool operation";
  pool.releasePage(pool.acquirePage());
  EXPECT_EQ(pool.spareTableBytes(), 0u);

  // After releaseSpares for good, as when the library unloads, nothing is kept any more.
  pool.releaseTable(pool.acquireTable(kSmall), kSmall);
  EXPECT_EQ(pool.spareTableBytes(), kSmall);
  pool.releaseSpares(/*forGood=*/true);
  EXPECT_EQ(pool.spareTableBytes(), 0u);
  pool.releaseTable(pool.acquireTable(kSmall), kSmall);
  EXPECT_EQ(pool.spareTableBytes(), 0u);
  EXPECT_EQ(pool.systemCalls().maps, pool.systemCalls().unmaps) << "everything went back";
}

TEST(BindingPagePoolSteadyLoop, EqualRoundsMakeNoSystemCallAfterTheFirst) {
  fakeNow = 0;
  BindingPagePool pool(fakeClockPolicy(/*retained=*/64 * kMiB, /*kept=*/kMiB));
  std::mt19937 random(3);
  std::uint64_t afterFirst = 0;
  for (int round = 0; round < 30; ++round) {
    // The same work each round: pages taken and given back in an order of their own.
    // 20 MB: more than a few regions kept whatever their age would cover.
    std::vector<void*> pages = acquire(pool, 20 * kPagesPerMiB + 7);
    std::shuffle(pages.begin(), pages.end(), random);
    std::vector<void*> half(pages.begin(), pages.begin() + pages.size() / 2);
    release(pool, half);
    std::vector<void*> again = acquire(pool, half.size());
    release(pool, again);
    release(pool, std::vector<void*>(pages.begin() + pages.size() / 2, pages.end()));
    fakeNow += 250;  // rounds a quarter of the decay time apart
    if (round == 0) afterFirst = systemCallCount(pool);
  }
  EXPECT_EQ(systemCallCount(pool), afterFirst);
  pool.releaseSpares();
}

TEST(BindingPagePoolSteadyLoop, TreesBuiltAndDroppedAgainMakeNoSystemCallAfterTheFirst) {
  BindingPagePool& pool = BindingPagePool::instance();
  // Spares other tests left behind could reach their decay time during the loop.
  pool.releaseSpares();
  std::uint64_t afterFirst = 0;
  for (int round = 0; round < 5; ++round) {
    BindingProperty tree;
    for (int i = 0; i < 10000; ++i) {
      BindingProperty& record = tree.append();
      record.member("name").setString("item " + std::to_string(i));
      record.member("prices").append().member("cost").setSigned(i);
    }
    BindingProperty copy(tree);
    EXPECT_EQ(copy.size(), 10000u);
    if (round == 0) afterFirst = systemCallCount(pool);
  }
  EXPECT_EQ(systemCallCount(pool), afterFirst);
  EXPECT_LE(pool.spareBytes(), BindingPagePool::kDefaultRetainedBytes);
}

}  // namespace
}  // namespace tev
