// Descriptor-driven conversion of native records against nlohmann::json's hand-written
// to_json/from_json, on identical structs in the same run: a vector of N records shaped like a
// store validation item (a nested key record, integers, a bool, three price records and an
// optional string) converted to a value tree and back.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "binding/binding_conversion.h"
#include "binding/binding_field_registration.h"
#include "binding/binding_registry.h"

namespace bench {

struct ItemKey {
  std::string inventoryType;
  std::int32_t itemId = 0;
};

struct ItemPrice {
  std::string currencyType;
  std::int32_t price = 0;
  bool purchasable = false;
};

struct Item {
  ItemKey itemKey;
  std::int32_t quantity = 0;
  std::uint32_t limit = 0;
  bool owned = false;
  std::vector<ItemPrice> prices;
  std::optional<std::string> name;
};

using Json = nlohmann::json;

void to_json(Json& json, const ItemKey& key) {
  json = Json{{"inventoryType", key.inventoryType}, {"itemId", key.itemId}};
}
void from_json(const Json& json, ItemKey& key) {
  json.at("inventoryType").get_to(key.inventoryType);
  json.at("itemId").get_to(key.itemId);
}
void to_json(Json& json, const ItemPrice& price) {
  json = Json{{"currencyType", price.currencyType},
              {"price", price.price},
              {"purchasable", price.purchasable}};
}
void from_json(const Json& json, ItemPrice& price) {
  json.at("currencyType").get_to(price.currencyType);
  json.at("price").get_to(price.price);
  json.at("purchasable").get_to(price.purchasable);
}
void to_json(Json& json, const Item& item) {
  json = Json{{"itemKey", item.itemKey},
              {"quantity", item.quantity},
              {"limit", item.limit},
              {"owned", item.owned},
              {"prices", item.prices}};
  json["name"] = item.name ? Json(*item.name) : Json(nullptr);
}
void from_json(const Json& json, Item& item) {
  json.at("itemKey").get_to(item.itemKey);
  json.at("quantity").get_to(item.quantity);
  json.at("limit").get_to(item.limit);
  json.at("owned").get_to(item.owned);
  json.at("prices").get_to(item.prices);
  const Json& name = json.at("name");
  if (name.is_null()) {
    item.name.reset();
  } else {
    item.name = name.get<std::string>();
  }
}

}  // namespace bench

TEV_BINDING_TYPE(bench::ItemKey);
TEV_BINDING_TYPE(bench::ItemPrice);
TEV_BINDING_TYPE(bench::Item);

namespace {

using bench::Item;
using bench::Json;

const tev::BindingRegistry& benchRegistry() {
  static tev::BindingRegistry* registry = [] {
    auto* created = new tev::BindingRegistry();
    created->initialize();
    {
      auto builder = tev::registerBindingType<bench::ItemKey>(*created, "ItemKey");
      tev::addBindingField(builder, "inventoryType", &bench::ItemKey::inventoryType);
      tev::addBindingField(builder, "itemId", &bench::ItemKey::itemId);
    }
    {
      auto builder = tev::registerBindingType<bench::ItemPrice>(*created, "ItemPrice");
      tev::addBindingField(builder, "currencyType", &bench::ItemPrice::currencyType);
      tev::addBindingField(builder, "price", &bench::ItemPrice::price);
      tev::addBindingField(builder, "purchasable", &bench::ItemPrice::purchasable);
    }
    auto builder = tev::registerBindingType<Item>(*created, "Item");
    tev::addBindingField(builder, "itemKey", &Item::itemKey);
    tev::addBindingField(builder, "quantity", &Item::quantity);
    tev::addBindingField(builder, "limit", &Item::limit);
    tev::addBindingField(builder, "owned", &Item::owned);
    tev::addBindingField(builder, "prices", &Item::prices);
    tev::addBindingField(builder, "name", &Item::name);
    return created;
  }();
  return *registry;
}

std::vector<Item> makeItems(std::int64_t count) {
  std::vector<Item> items(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) {
    Item& item = items[static_cast<std::size_t>(i)];
    item.itemKey = {"CHAMPION_SKIN", static_cast<std::int32_t>(i)};
    item.quantity = 1;
    item.limit = static_cast<std::uint32_t>(i % 5);
    item.owned = i % 3 == 0;
    item.prices = {{"RP", 975, true}, {"IP", 6300, false}, {"BE", 450, true}};
    if (i % 2 == 0) item.name = "Item name";
  }
  return items;
}

void BM_Registry_ToValue(benchmark::State& state) {
  const std::vector<Item> items = makeItems(state.range(0));
  const tev::BindingRegistry& registry = benchRegistry();
  for (auto _ : state) {
    tev::BindingResult result;
    if (!tev::convertToValue(result, items, &registry)) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(result.value().size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Nlohmann_ToJson(benchmark::State& state) {
  const std::vector<Item> items = makeItems(state.range(0));
  for (auto _ : state) {
    Json json = items;
    benchmark::DoNotOptimize(json.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Registry_FromValue(benchmark::State& state) {
  const tev::BindingRegistry& registry = benchRegistry();
  tev::BindingResult source;
  if (!tev::convertToValue(source, makeItems(state.range(0)), &registry)) {
    state.SkipWithError("setup failed");
    return;
  }
  for (auto _ : state) {
    std::vector<Item> items;
    tev::BindingResult result;
    if (!tev::convertToNative(result, source.value(), items, "<value>", &registry)) {
      state.SkipWithError("conversion failed");
    }
    benchmark::DoNotOptimize(items.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Nlohmann_FromJson(benchmark::State& state) {
  const Json source = makeItems(state.range(0));
  for (auto _ : state) {
    std::vector<Item> items;
    source.get_to(items);
    benchmark::DoNotOptimize(items.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Registry_ToValue)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Nlohmann_ToJson)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Registry_FromValue)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Nlohmann_FromJson)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
