#include "host/store/catalogue_view.h"

#include <string>

namespace tev::devhost {

using nlohmann::json;

json catalogueView(const StoreCatalogue& catalogue, std::string_view language,
                   std::string_view now) {
  json items = json::array();
  for (const StoreItem& item : catalogue.items()) {
    const StoreSale* running = catalogue.activeSale(item, now);
    json sales = json::array();
    json sale = nullptr;
    for (const StoreSale& window : item.sales) {
      // The texts have one fixed shape, so they compare as times.
      const char* state = &window == running                        ? "running"
                          : std::string_view(window.endDate) <= now ? "past"
                                                                    : "upcoming";
      json entry = {{"startDate", window.startDate},
                    {"endDate", window.endDate},
                    {"prices", pricesJson(window.prices)},
                    {"state", state}};
      if (&window == running) sale = entry;
      sales.push_back(std::move(entry));
    }
    items.push_back({{"itemKey", {{"inventoryType", item.inventoryType}, {"itemId", item.itemId}}},
                     {"name", catalogue.localized(item.names, language)},
                     {"description", catalogue.localized(item.descriptions, language)},
                     {"iconUrl", item.iconUrl},
                     {"maxQuantity", item.maxQuantity},
                     {"prices", pricesJson(item.prices)},
                     {"sales", std::move(sales)},
                     {"sale", std::move(sale)}});
  }
  return {{"language", language}, {"now", now}, {"items", std::move(items)}};
}

std::optional<json> walletForSession(const StoreCatalogue& catalogue, const json& session) {
  if (!session.is_object()) return std::nullopt;
  const auto token = session.find("idToken");
  if (token == session.end() || !token->is_string()) return std::nullopt;
  const std::optional<std::uint64_t> account =
      catalogue.accountForToken(token->get_ref<const std::string&>());
  if (!account) return std::nullopt;
  json wallet = catalogue.wallet(*account);
  if (wallet.is_null()) return std::nullopt;
  return wallet;
}

}  // namespace tev::devhost
