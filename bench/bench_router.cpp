// Dispatch through the request callback, from a filled host request record to a filled response
// record and its cleanup: a GET of a function without arguments returning a small record, and a
// POST whose JSON body of N store-like records is decoded into a record argument and converted
// to native. BM_Json_ParseBody/N parses the same body alone, in the same run, as the yardstick.
// BM_Convert_Basket/N is the step dispatch adds to the parse: the parsed body converted to the
// native Basket and destroyed again. Each reports its heap blocks per iteration ("allocs"), as
// the counting hooks see them: the heap is where the native records cost most on some runtimes,
// and BM_Heap_BasketBlocks and BM_Heap_RuntimeBlocks measure it with and without the hooks.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "binding/binding_conversion.h"
#include "binding/binding_field_registration.h"
#include "platform/allocation_counters.h"
#include "platform/allocator_hooks.h"
#include "platform/runtime_heap.h"
#include "router/native_invoker.h"
#include "router/router.h"
#include "serialization/json_reader.h"

namespace bench {

struct ItemKey {
  tev::String inventoryType;
  std::int32_t itemId = 0;
};

struct ItemPrice {
  tev::String currencyType;
  std::int32_t price = 0;
  bool purchasable = false;
};

struct Item {
  ItemKey itemKey;
  std::int32_t quantity = 0;
  std::uint32_t limit = 0;
  bool owned = false;
  tev::Vector<ItemPrice> prices;
  std::optional<tev::String> name;
};

struct Basket {
  tev::Vector<Item> items;
  tev::String currency;
};

struct Config {
  bool enabled = false;
  bool purchaseDisclaimerEnabled = false;
};

}  // namespace bench

TEV_BINDING_TYPE(bench::ItemKey);
TEV_BINDING_TYPE(bench::ItemPrice);
TEV_BINDING_TYPE(bench::Item);
TEV_BINDING_TYPE(bench::Basket);
TEV_BINDING_TYPE(bench::Config);

namespace bench {
namespace {

using tev::ArgumentLocation;
using tev::HttpMethod;

class Service {
 public:
  Service() {
    auto key = tev::registerBindingType<ItemKey>(router_, "ItemKey");
    tev::addBindingField(key, "inventoryType", &ItemKey::inventoryType);
    tev::addBindingField(key, "itemId", &ItemKey::itemId);
    auto price = tev::registerBindingType<ItemPrice>(router_, "ItemPrice");
    tev::addBindingField(price, "currencyType", &ItemPrice::currencyType);
    tev::addBindingField(price, "price", &ItemPrice::price);
    tev::addBindingField(price, "purchasable", &ItemPrice::purchasable);
    auto item = tev::registerBindingType<Item>(router_, "Item");
    tev::addBindingField(item, "itemKey", &Item::itemKey);
    tev::addBindingField(item, "quantity", &Item::quantity);
    tev::addBindingField(item, "limit", &Item::limit);
    tev::addBindingField(item, "owned", &Item::owned);
    tev::addBindingField(item, "prices", &Item::prices);
    tev::addBindingField(item, "name", &Item::name);
    auto basket = tev::registerBindingType<Basket>(router_, "Basket");
    tev::addBindingField(basket, "items", &Basket::items);
    tev::addBindingField(basket, "currency", &Basket::currency);
    auto config = tev::registerBindingType<Config>(router_, "Config");
    tev::addBindingField(config, "enabled", &Config::enabled);
    tev::addBindingField(config, "purchaseDisclaimerEnabled", &Config::purchaseDisclaimerEnabled);

    tev::EndpointDefinition get;
    get.method = HttpMethod::kGet;
    get.path = "/bench/v1/configuration";
    tev::addNativeEndpoint(router_, get, {}, [] { return Config{true, false}; });
    tev::EndpointDefinition post;
    post.method = HttpMethod::kPost;
    post.path = "/bench/v1/validateItems";
    post.locations = {ArgumentLocation::kBody};
    tev::addNativeEndpoint(router_, post, {"basket"}, [](Basket request) {
      return static_cast<std::uint32_t>(request.items.size());
    });
    table_ = router_.buildApiTable();
  }

  const tev::BindingRegistry& registry() const { return router_; }

  const ApiEndpointEntry& entry(const char* name) const {
    for (std::uint32_t i = 0; i < table_.endpointCount; ++i) {
      if (std::strcmp(table_.endpoints[i].function.name, name) == 0) return table_.endpoints[i];
    }
    std::abort();
  }

 private:
  tev::Router router_;
  PluginApiTable table_{};
};

Service& service() {
  static Service instance;
  return instance;
}

std::string storeBody(std::int64_t count) {
  std::string body = R"({"currency":"RP","items":[)";
  for (std::int64_t i = 0; i < count; ++i) {
    if (i > 0) body += ',';
    body += R"({"itemKey":{"inventoryType":"CHAMPION_SKIN","itemId":)" + std::to_string(1000 + i) +
            R"(},"quantity":1,"limit":)" + std::to_string(i % 7) +
            R"(,"owned":false,"prices":[{"currencyType":"RP","price":)" +
            std::to_string(975 + i % 400) +
            R"(,"purchasable":true},{"currencyType":"IP","price":6300,"purchasable":false}],)"
            R"("name":"Item number )" +
            std::to_string(i) + R"("})";
  }
  return body + "]}";
}

// Heap blocks allocated per iteration while `state` ran, from the process's counting hooks.
class AllocationCount {
 public:
  AllocationCount() : start_(tev::snapshot(tev::processAllocationCounters()).allocations) {}
  void report(benchmark::State& state) const {
    const std::uint64_t now = tev::snapshot(tev::processAllocationCounters()).allocations;
    if (state.iterations() == 0) return;
    state.counters["allocs"] =
        static_cast<double>(now - start_) / static_cast<double>(state.iterations());
  }

 private:
  std::uint64_t start_;
};

// One request through the entry's callback; the response is checked and cleaned up.
void dispatch(const ApiEndpointEntry& entry, HostEndpointRequest& request,
              benchmark::State& state) {
  request.context = entry.function.context;
  const HostEndpointCallback callback = entry.callback;
  const AllocationCount allocations;
  for (auto _ : state) {
    HostEndpointResponse response{};
    callback(&response, &request);
    if (response.hasError != 0) {
      state.SkipWithError(response.error);
      response.cleanup(&response);
      break;
    }
    benchmark::DoNotOptimize(response.result.type);
    response.cleanup(&response);
  }
  allocations.report(state);
}

void BM_Dispatch_Get(benchmark::State& state) {
  HostEndpointRequest request{};
  request.method = static_cast<std::uint32_t>(HttpMethod::kGet);
  request.target = "/bench/v1/configuration";
  const HostHeader headers[] = {{"Accept", "application/json"}, {"User-Agent", "bench"}};
  request.headers = headers;
  request.headerCount = 2;
  dispatch(service().entry("GetBenchV1Configuration"), request, state);
}
BENCHMARK(BM_Dispatch_Get);

// The same with a value elsewhere in the process holding a page of the value pool, so that the
// pool's region stays mapped between requests: the router's own cost per request.
void BM_Dispatch_Get_WarmPool(benchmark::State& state) {
  tev::BindingProperty resident;
  for (int i = 0; i < 64; ++i) resident.member(std::to_string(i)).setString("resident");
  BM_Dispatch_Get(state);
}
BENCHMARK(BM_Dispatch_Get_WarmPool);

void BM_Dispatch_PostJson(benchmark::State& state) {
  const std::string body = storeBody(state.range(0));
  HostEndpointRequest request{};
  request.method = static_cast<std::uint32_t>(HttpMethod::kPost);
  request.target = "/bench/v1/validateItems";
  const HostHeader headers[] = {{"Content-Type", "application/json"}};
  request.headers = headers;
  request.headerCount = 1;
  request.contentType = "application/json";
  request.body = body.data();
  request.bodyLength = static_cast<std::uint32_t>(body.size());
  dispatch(service().entry("PostBenchV1ValidateItems"), request, state);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_Dispatch_PostJson)->Arg(10)->Arg(5000);

void BM_Json_ParseBody(benchmark::State& state) {
  const std::string body = storeBody(state.range(0));
  const AllocationCount allocations;
  for (auto _ : state) {
    tev::BindingResult parsed = tev::parseJson(body.data(), body.size());
    benchmark::DoNotOptimize(parsed.ok());
  }
  allocations.report(state);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_Json_ParseBody)->Arg(10)->Arg(5000);

void BM_Convert_Basket(benchmark::State& state) {
  const std::string body = storeBody(state.range(0));
  const tev::BindingResult parsed = tev::parseJson(body.data(), body.size());
  if (!parsed.ok()) {
    state.SkipWithError("the body does not parse");
    return;
  }
  const tev::BindingRegistry& registry = service().registry();
  const AllocationCount allocations;
  for (auto _ : state) {
    tev::BindingResult result;
    Basket basket;
    if (!tev::convertToNative(result, parsed.value(), basket, "basket", &registry)) {
      state.SkipWithError("the body does not convert");
      break;
    }
    benchmark::DoNotOptimize(basket.items.data());
  }
  allocations.report(state);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_Convert_Basket)->Arg(10)->Arg(5000);

// What the heap alone costs the conversion above: about as many blocks as it allocates for N
// records (a vector of two prices and a name of 16 characters each), allocated through the
// counting hooks and freed again.
void BM_Heap_BasketBlocks(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  tev::Vector<void*> blocks(2 * count);
  const AllocationCount allocations;
  for (auto _ : state) {
    for (std::size_t i = 0; i < count; ++i) {
      blocks[2 * i] = tev::hookedAllocate(2 * sizeof(ItemPrice));
      blocks[2 * i + 1] = tev::hookedAllocate(17);
    }
    benchmark::DoNotOptimize(blocks.data());
    for (void* block : blocks) tev::hookedFree(block);
  }
  allocations.report(state);
}
BENCHMARK(BM_Heap_BasketBlocks)->Arg(5000);

// The same blocks straight from the runtime library, without the counting hooks: what the heap
// itself costs, apart from taking each block's size and counting it.
void BM_Heap_RuntimeBlocks(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  tev::Vector<void*> blocks(2 * count);
  for (auto _ : state) {
    for (std::size_t i = 0; i < count; ++i) {
      blocks[2 * i] = tev::platform::heapAllocate(2 * sizeof(ItemPrice));
      blocks[2 * i + 1] = tev::platform::heapAllocate(17);
    }
    benchmark::DoNotOptimize(blocks.data());
    for (void* block : blocks) tev::platform::heapFree(block);
  }
}
BENCHMARK(BM_Heap_RuntimeBlocks)->Arg(5000);

}  // namespace
}  // namespace bench

BENCHMARK_MAIN();
