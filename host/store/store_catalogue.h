// The embedded store's data and rules: catalogue items with prices, sale windows and localized
// names, and player accounts with a bearer token and a wallet. Answers validation and purchase
// requests as the store service would, as a status and a JSON body. Loaded once from the
// catalogue file; wallets change with purchases. Thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace tev::devhost {

struct StorePrice {
  std::string currencyType;
  std::int32_t price = 0;
  bool purchasable = true;
};

// A sale applies while startDate <= now < endDate (UTC texts "YYYY-MM-DDTHH:MM:SSZ").
struct StoreSale {
  std::string startDate;
  std::string endDate;
  std::vector<StorePrice> prices;
};

struct StoreItem {
  std::string inventoryType;
  std::int32_t itemId = 0;
  std::int32_t maxQuantity = 1;
  std::string iconUrl;
  std::map<std::string, std::string> names;         // language to text
  std::map<std::string, std::string> descriptions;  // language to text
  std::vector<StorePrice> prices;
  std::vector<StoreSale> sales;
};

struct StoreAccount {
  std::string token;
  std::uint64_t accountId = 0;
  std::uint64_t tivanId = 0;
  std::map<std::string, std::int64_t> balances;  // currency to amount
  std::int32_t version = 1;
  std::uint64_t transactions = 0;
};

struct StoreAnswer {
  int status = 200;
  nlohmann::json body;
};

class StoreCatalogue {
 public:
  // Reads a catalogue document. Returns false with `error` naming the first malformed entry.
  [[nodiscard]] bool load(const nlohmann::json& document, std::string& error);

  // The language of names and descriptions when a request names none the item has.
  const std::string& defaultLanguage() const { return defaultLanguage_; }
  // The catalogue's items, fixed after load.
  const std::vector<StoreItem>& items() const { return items_; }

  // The account whose bearer token this is.
  std::optional<std::uint64_t> accountForToken(std::string_view token) const;
  // The first account of the catalogue: the player the host logs in by default.
  std::optional<StoreAccount> defaultAccount() const;

  // A ValidationResponse for a ValidationRequest: 400 for a malformed request or an unknown
  // item; otherwise 200 with every item's prices, active sale and names in `language` (falling
  // back to the catalogue's default language), and `valid` when every quantity is within the
  // item's limit and every item can be bought.
  StoreAnswer validate(const nlohmann::json& request, std::string_view language,
                       std::string_view now) const;
  // A PurchaseResponse for a PurchaseRequest from `accountId`: 400 for a malformed request,
  // unknown item, bad quantity or currency; 409 when the price the client saw is not the current
  // one; 402 when the wallet cannot pay. Only a complete success changes the wallet.
  // Both throw nlohmann::json::exception for a member of an unexpected type (the service answers
  // 400 for it).
  StoreAnswer purchase(std::uint64_t accountId, const nlohmann::json& request,
                       std::string_view now);
  // {"accountId", "balances": [{"currencyType", "amount"}], "version"}.
  nlohmann::json wallet(std::uint64_t accountId) const;

  // The sale of `item` that runs at `now` (a UTC text as above), if any.
  const StoreSale* activeSale(const StoreItem& item, std::string_view now) const;
  // The text of `texts` in `language`, else in the catalogue's default language, else empty.
  std::string localized(const std::map<std::string, std::string>& texts,
                        std::string_view language) const;

 private:
  bool loadChecked(const nlohmann::json& document, std::string& error);
  const StoreItem* find(std::string_view inventoryType, std::int64_t itemId) const;
  nlohmann::json walletLocked(const StoreAccount& account) const;

  std::string defaultLanguage_ = "en_US";
  std::vector<StoreItem> items_;
  mutable std::mutex mutex_;  // guards accounts_
  std::vector<StoreAccount> accounts_;
};

// The current UTC time as "YYYY-MM-DDTHH:MM:SSZ".
std::string currentUtcText();

// An item's prices as the store answers them: [{currencyType, price, purchasable}].
nlohmann::json pricesJson(const std::vector<StorePrice>& prices);

}  // namespace tev::devhost
