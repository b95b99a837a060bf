#include "binding/binding_page_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "binding/binding_property.h"

namespace tev {
namespace {

TEST(BindingPagePoolConcurrency, TreesOnManyThreadsShareThePool) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int round = 0; round < 20; ++round) {
        BindingProperty tree;
        for (int i = 0; i < 300; ++i) {
          BindingProperty& record = tree.append();
          record.member("thread").setSigned(t);
          record.member("index").setSigned(i);
        }
        for (const BindingProperty& record : tree.elements()) {
          if (record.getMember("thread").getSigned() != t) ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : failures) EXPECT_EQ(count, 0);
  BindingPagePool& pool = BindingPagePool::instance();
  EXPECT_EQ(pool.regionCount(), pool.spareRegionCount()) << "only spares are left";
  EXPECT_LE(pool.spareBytes(), BindingPagePool::kDefaultRetainedBytes);
}

std::atomic<std::uint64_t> sharedNow{0};
std::uint64_t sharedClock() { return sharedNow.load(); }

TEST(BindingPagePoolConcurrency, SparesDecayWhileOtherThreadsTakeAndReturnPages) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  BindingPagePool::Policy policy;
  policy.retainedBytes = 4 * kMiB;
  policy.keptBytes = kMiB;
  policy.decayMilliseconds = 10;
  policy.retainedTableBytes = kMiB;
  policy.clock = &sharedClock;
  BindingPagePool pool(policy);
  std::atomic<bool> failed{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &pool, &failed] {
      std::vector<void*> pages;
      for (int round = 0; round < 40; ++round) {
        // Bursts of different sizes, so that regions keep becoming spare and aging out.
        const std::size_t count = 64 + static_cast<std::size_t>((round * 37 + t * 101) % 400);
        // And a string table of one of three sizes, taken from the spares of the others.
        const std::size_t tableBytes =
            BindingPagePool::kMinTableBytes * static_cast<std::size_t>(1 + (round + t) % 3);
        auto* table = static_cast<unsigned char*>(pool.acquireTable(tableBytes));
        ASSERT_NE(table, nullptr);
        table[0] = table[tableBytes - 1] = static_cast<unsigned char>(t);
        for (std::size_t i = 0; i < count; ++i) {
          auto* page = static_cast<unsigned char*>(pool.acquirePage());
          ASSERT_NE(page, nullptr);
          page[0] = static_cast<unsigned char>(t);
          pages.push_back(page);
        }
        for (void* page : pages) {
          if (*static_cast<unsigned char*>(page) != static_cast<unsigned char>(t)) {
            failed = true;  // another thread wrote into a page of this one
          }
          pool.releasePage(page);
        }
        pages.clear();
        if (table[0] != static_cast<unsigned char>(t) ||
            table[tableBytes - 1] != static_cast<unsigned char>(t)) {
          failed = true;  // another thread took the same table
        }
        pool.releaseTable(table, tableBytes);
        if (pool.spareBytes() > 4 * kMiB || pool.spareTableBytes() > kMiB) failed = true;
        sharedNow.fetch_add(3);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(failed.load());
  EXPECT_EQ(pool.mappedBytes(), pool.spareBytes()) << "every page is back";
  sharedNow.fetch_add(10);
  pool.releasePage(pool.acquirePage());
  EXPECT_LE(pool.spareBytes(), kMiB + BindingPagePool::kMaxRegionSize);
  EXPECT_EQ(pool.spareTableBytes(), 0u) << "the tables aged out too";
  pool.releaseSpares();
  EXPECT_EQ(pool.mappedBytes(), 0u);
  EXPECT_EQ(pool.systemCalls().maps, pool.systemCalls().unmaps);
}

}  // namespace
}  // namespace tev
