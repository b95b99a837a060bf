// Builds and copies collections of small records as BindingProperty trees and as
// nlohmann::json documents in the same run, and reports the heap allocations per record of
// each: through the allocation hooks for our values, through operator new for both.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <nlohmann/json.hpp>

#include "binding/binding_property.h"
#include "platform/allocation_counters.h"

namespace {

std::atomic<std::uint64_t> operatorNewCalls{0};

}  // namespace

// This executable's own operator new, only to count what each side allocates through it. Kept
// out of line so that the compiler pairs new with delete, not with the free inside.
[[gnu::noinline]] void* operator new(std::size_t size) {
  operatorNewCalls.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* block) noexcept { std::free(block); }
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

using tev::BindingProperty;
using Json = nlohmann::json;

void buildRecords(BindingProperty& root, std::int64_t count) {
  root.makeCollection();
  root.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) {
    BindingProperty& record = root.append();
    record.member("name").setString("Widget");
    record.member("category").setString("catalogue-item");
    record.member("id").setSigned(i);
    record.member("active").setBool(i % 2 == 0);
    BindingProperty& price = record.member("price");
    price.member("amount").setSigned(i * 10);
    price.member("currency").setString("RP");
    BindingProperty& tags = record.member("tags");
    tags.append().setSigned(i);
    tags.append().setSigned(i + 1);
    tags.append().setSigned(i + 2);
  }
}

void buildRecords(Json& root, std::int64_t count) {
  root = Json::array();
  root.get_ref<Json::array_t&>().reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) {
    Json& record = root.emplace_back(Json::object());
    record["name"] = "Widget";
    record["category"] = "catalogue-item";
    record["id"] = i;
    record["active"] = i % 2 == 0;
    Json& price = record["price"];
    price["amount"] = i * 10;
    price["currency"] = "RP";
    Json& tags = record["tags"];
    tags.push_back(i);
    tags.push_back(i + 1);
    tags.push_back(i + 2);
  }
}

// Allocations per record over the whole run: hooks (our values only) and operator new.
class AllocationMeter {
 public:
  AllocationMeter()
      : hooked_(tev::snapshot(tev::processAllocationCounters()).allocations),
        newCalls_(operatorNewCalls.load()) {}

  void report(benchmark::State& state) const {
    const double records =
        static_cast<double>(state.iterations()) * static_cast<double>(state.range(0));
    const auto hooked = tev::snapshot(tev::processAllocationCounters()).allocations - hooked_;
    const auto newCalls = operatorNewCalls.load() - newCalls_;
    state.counters["hooks/record"] = static_cast<double>(hooked) / records;
    state.counters["new/record"] = static_cast<double>(newCalls) / records;
    state.SetItemsProcessed(static_cast<std::int64_t>(records));
  }

 private:
  std::uint64_t hooked_;
  std::uint64_t newCalls_;
};

void BM_Property_BuildRecords(benchmark::State& state) {
  const AllocationMeter meter;
  for (auto _ : state) {
    BindingProperty root;
    buildRecords(root, state.range(0));
    benchmark::DoNotOptimize(root);
  }
  meter.report(state);
}

void BM_Nlohmann_BuildRecords(benchmark::State& state) {
  const AllocationMeter meter;
  for (auto _ : state) {
    Json root;
    buildRecords(root, state.range(0));
    benchmark::DoNotOptimize(root);
  }
  meter.report(state);
}

void BM_Property_CopyTree(benchmark::State& state) {
  BindingProperty source;
  buildRecords(source, state.range(0));
  const AllocationMeter meter;
  for (auto _ : state) {
    BindingProperty copy(source);
    benchmark::DoNotOptimize(copy);
  }
  meter.report(state);
}

void BM_Nlohmann_CopyTree(benchmark::State& state) {
  Json source;
  buildRecords(source, state.range(0));
  const AllocationMeter meter;
  for (auto _ : state) {
    Json copy(source);
    benchmark::DoNotOptimize(copy);
  }
  meter.report(state);
}

BENCHMARK(BM_Property_BuildRecords)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Nlohmann_BuildRecords)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Property_CopyTree)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Nlohmann_CopyTree)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
