#include "binding/binding_page_pool.h"

#include <gtest/gtest.h>

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
  EXPECT_LE(pool.spareRegionCount(),
            BindingPagePool::kDefaultSpareRegions + BindingPagePool::kDefaultDiscardedSpareRegions);
}

}  // namespace
}  // namespace tev
