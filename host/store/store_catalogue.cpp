#include "host/store/store_catalogue.h"

#include <chrono>
#include <cstdio>
#include <limits>

namespace tev::devhost {
namespace {

using nlohmann::json;

StoreAnswer badRequest(std::string text, json detail = nullptr) {
  json body = {{"error", std::move(text)}};
  if (!detail.is_null()) body["itemKey"] = std::move(detail);
  return {400, std::move(body)};
}

bool isUtcText(const json& value) {
  if (!value.is_string()) return false;
  const std::string& text = value.get_ref<const std::string&>();
  static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
  }
  return true;
}

bool readInt(const json& value, std::int64_t low, std::int64_t high, std::int64_t& out) {
  if (!value.is_number_integer()) return false;
  if (value.is_number_unsigned()) {
    const auto u = value.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
    out = static_cast<std::int64_t>(u);
  } else {
    out = value.get<std::int64_t>();
  }
  return out >= low && out <= high;
}

bool readPrices(const json& value, std::vector<StorePrice>& out, std::string& error,
                const std::string& where) {
  if (!value.is_array()) {
    error = where + ": prices must be an array";
    return false;
  }
  for (const json& entry : value) {
    StorePrice price;
    std::int64_t amount = 0;
    if (!entry.is_object() || !entry.value("currencyType", json()).is_string() ||
        !readInt(entry.value("price", json()), 0, std::numeric_limits<std::int32_t>::max(),
                 amount)) {
      error = where + ": a price needs currencyType and a non-negative 32-bit price";
      return false;
    }
    price.currencyType = entry["currencyType"].get<std::string>();
    price.price = static_cast<std::int32_t>(amount);
    price.purchasable = entry.value("purchasable", true);
    out.push_back(std::move(price));
  }
  return true;
}

bool readTexts(const json& value, std::map<std::string, std::string>& out) {
  if (value.is_null()) return true;
  if (!value.is_object()) return false;
  for (const auto& [language, text] : value.items()) {
    if (!text.is_string()) return false;
    out[language] = text.get<std::string>();
  }
  return true;
}

// The item key of a request item: {inventoryType, itemId}, or false.
bool readItemKey(const json& item, std::string& inventoryType, std::int64_t& itemId) {
  if (!item.is_object()) return false;
  const json key = item.value("itemKey", json());
  if (!key.is_object()) return false;
  const json type = key.value("inventoryType", json());
  if (!type.is_string()) return false;
  inventoryType = type.get<std::string>();
  return readInt(key.value("itemId", json()), std::numeric_limits<std::int32_t>::min(),
                 std::numeric_limits<std::int32_t>::max(), itemId);
}

std::int64_t quantityOf(const json& item) {
  std::int64_t quantity = 0;
  const json value = item.value("quantity", json());
  if (value.is_null()) return 0;
  if (!readInt(value, std::numeric_limits<std::int32_t>::min(),
               std::numeric_limits<std::int32_t>::max(), quantity)) {
    return -1;
  }
  return quantity;
}

}  // namespace

json pricesJson(const std::vector<StorePrice>& prices) {
  json out = json::array();
  for (const StorePrice& price : prices) {
    out.push_back({{"currencyType", price.currencyType},
                   {"price", price.price},
                   {"purchasable", price.purchasable}});
  }
  return out;
}

std::string currentUtcText() {
  // Calendar arithmetic rather than gmtime_r, which Windows lacks.
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto today = floor<days>(now);
  const year_month_day date{today};
  const hh_mm_ss time{now - today};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

bool StoreCatalogue::load(const json& document, std::string& error) {
  try {
    return loadChecked(document, error);
  } catch (const json::exception& e) {
    error = std::string("malformed catalogue: ") + e.what();
    return false;
  }
}

bool StoreCatalogue::loadChecked(const json& document, std::string& error) {
  if (!document.is_object()) {
    error = "the catalogue must be a JSON object";
    return false;
  }
  defaultLanguage_ = document.value("defaultLanguage", std::string("en_US"));
  const json items = document.value("items", json::array());
  const json accounts = document.value("accounts", json::array());
  if (!items.is_array() || !accounts.is_array()) {
    error = "the catalogue's items and accounts must be arrays";
    return false;
  }
  for (const json& entry : items) {
    StoreItem item;
    std::int64_t id = 0;
    std::int64_t maxQuantity = 1;
    const std::string where = "item " + std::to_string(items_.size());
    if (!entry.is_object() || !entry.value("inventoryType", json()).is_string() ||
        !readInt(entry.value("itemId", json()), std::numeric_limits<std::int32_t>::min(),
                 std::numeric_limits<std::int32_t>::max(), id) ||
        !readInt(entry.value("maxQuantity", json(1)), 1, 1000000, maxQuantity)) {
      error = where + ": needs inventoryType, a 32-bit itemId and a maxQuantity of at least 1";
      return false;
    }
    item.inventoryType = entry["inventoryType"].get<std::string>();
    item.itemId = static_cast<std::int32_t>(id);
    item.maxQuantity = static_cast<std::int32_t>(maxQuantity);
    item.iconUrl = entry.value("iconUrl", std::string());
    if (!readTexts(entry.value("name", json()), item.names) ||
        !readTexts(entry.value("description", json()), item.descriptions)) {
      error = where + ": name and description map languages to texts";
      return false;
    }
    if (!readPrices(entry.value("prices", json()), item.prices, error, where)) return false;
    for (const json& sale : entry.value("sales", json::array())) {
      StoreSale window;
      if (!sale.is_object() || !isUtcText(sale.value("startDate", json())) ||
          !isUtcText(sale.value("endDate", json()))) {
        error = where + ": a sale needs startDate and endDate as YYYY-MM-DDTHH:MM:SSZ";
        return false;
      }
      window.startDate = sale["startDate"].get<std::string>();
      window.endDate = sale["endDate"].get<std::string>();
      if (!readPrices(sale.value("prices", json()), window.prices, error, where)) return false;
      item.sales.push_back(std::move(window));
    }
    if (find(item.inventoryType, item.itemId) != nullptr) {
      error = where + ": repeats " + item.inventoryType + ":" + std::to_string(item.itemId);
      return false;
    }
    items_.push_back(std::move(item));
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  for (const json& entry : accounts) {
    StoreAccount account;
    std::int64_t accountId = 0;
    std::int64_t tivanId = 0;
    const std::string where = "account " + std::to_string(accounts_.size());
    if (!entry.is_object() || !entry.value("token", json()).is_string() ||
        !readInt(entry.value("accountId", json()), 1, std::numeric_limits<std::int64_t>::max(),
                 accountId) ||
        !readInt(entry.value("tivanId", json()), 1, std::numeric_limits<std::int64_t>::max(),
                 tivanId)) {
      error = where + ": needs a token and positive accountId and tivanId";
      return false;
    }
    account.token = entry["token"].get<std::string>();
    account.accountId = static_cast<std::uint64_t>(accountId);
    account.tivanId = static_cast<std::uint64_t>(tivanId);
    const json balances = entry.value("balances", json::object());
    if (!balances.is_object()) {
      error = where + ": balances map currencies to amounts";
      return false;
    }
    for (const auto& [currency, amount] : balances.items()) {
      std::int64_t value = 0;
      if (!readInt(amount, 0, std::numeric_limits<std::int32_t>::max(), value)) {
        error = where + ": balances are non-negative 32-bit amounts";
        return false;
      }
      account.balances[currency] = value;
    }
    accounts_.push_back(std::move(account));
  }
  return true;
}

std::optional<std::uint64_t> StoreCatalogue::accountForToken(std::string_view token) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (const StoreAccount& account : accounts_) {
    if (!token.empty() && account.token == token) return account.accountId;
  }
  return std::nullopt;
}

std::optional<StoreAccount> StoreCatalogue::defaultAccount() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (accounts_.empty()) return std::nullopt;
  return accounts_.front();
}

const StoreItem* StoreCatalogue::find(std::string_view inventoryType, std::int64_t itemId) const {
  for (const StoreItem& item : items_) {
    if (item.inventoryType == inventoryType && item.itemId == itemId) return &item;
  }
  return nullptr;
}

const StoreSale* StoreCatalogue::activeSale(const StoreItem& item, std::string_view now) const {
  // The texts have one fixed shape, so they compare as times.
  for (const StoreSale& sale : item.sales) {
    if (sale.startDate <= now && now < sale.endDate) return &sale;
  }
  return nullptr;
}

std::string StoreCatalogue::localized(const std::map<std::string, std::string>& texts,
                                      std::string_view language) const {
  auto it = texts.find(std::string(language));
  if (it == texts.end()) it = texts.find(defaultLanguage_);
  return it != texts.end() ? it->second : std::string();
}

StoreAnswer StoreCatalogue::validate(const json& request, std::string_view language,
                                     std::string_view now) const {
  if (!request.is_object() || !request.value("items", json::array()).is_array()) {
    return badRequest("a validation request is an object whose items are an array");
  }
  json items = json::array();
  bool valid = true;
  const json requested = request.value("items", json::array());
  for (const json& entry : requested) {
    std::string inventoryType;
    std::int64_t itemId = 0;
    if (!readItemKey(entry, inventoryType, itemId)) {
      return badRequest("every item needs an itemKey with inventoryType and a 32-bit itemId");
    }
    const StoreItem* item = find(inventoryType, itemId);
    if (item == nullptr) {
      return badRequest("unknown item " + inventoryType + ":" + std::to_string(itemId),
                        entry["itemKey"]);
    }
    const std::int64_t quantity = quantityOf(entry);
    const StoreSale* sale = activeSale(*item, now);
    const std::vector<StorePrice>& effective = sale != nullptr ? sale->prices : item->prices;
    bool buyable = false;
    for (const StorePrice& price : effective) buyable = buyable || price.purchasable;
    valid = valid && buyable && quantity >= 1 && quantity <= item->maxQuantity;
    json out = {{"itemKey", {{"inventoryType", item->inventoryType}, {"itemId", item->itemId}}},
                {"quantity", quantity},
                {"prices", pricesJson(item->prices)},
                {"sale", nullptr},
                {"name", localized(item->names, language)},
                {"description", localized(item->descriptions, language)}};
    if (sale != nullptr) {
      out["sale"] = {{"startDate", sale->startDate},
                     {"endDate", sale->endDate},
                     {"prices", pricesJson(sale->prices)}};
    }
    items.push_back(std::move(out));
  }
  valid = valid && !items.empty();
  return {200, {{"items", std::move(items)}, {"valid", valid}}};
}

StoreAnswer StoreCatalogue::purchase(std::uint64_t accountId, const json& request,
                                     std::string_view now) {
  if (!request.is_object() || !request.value("items", json()).is_array()) {
    return badRequest("a purchase request is an object whose items are an array");
  }
  const json requested = request["items"];
  if (requested.empty()) return badRequest("a purchase needs at least one item");
  struct Line {
    const StoreItem* item;
    std::int64_t quantity;
    std::string currency;
  };
  std::vector<Line> lines;
  std::map<std::string, std::int64_t> totals;
  for (const json& entry : requested) {
    std::string inventoryType;
    std::int64_t itemId = 0;
    if (!readItemKey(entry, inventoryType, itemId)) {
      return badRequest("every item needs an itemKey with inventoryType and a 32-bit itemId");
    }
    const StoreItem* item = find(inventoryType, itemId);
    if (item == nullptr) {
      return badRequest("unknown item " + inventoryType + ":" + std::to_string(itemId),
                        entry["itemKey"]);
    }
    const std::int64_t quantity = quantityOf(entry);
    if (quantity < 1 || quantity > item->maxQuantity) {
      return badRequest("quantity " + std::to_string(quantity) + " of " + inventoryType + ":" +
                            std::to_string(itemId) + " is not between 1 and " +
                            std::to_string(item->maxQuantity),
                        entry["itemKey"]);
    }
    const json info = entry.value("purchaseCurrencyInfo", json::object());
    if (!info.is_object() || !info.value("currencyType", json("")).is_string()) {
      return badRequest("purchaseCurrencyInfo needs a currencyType", entry["itemKey"]);
    }
    const std::string currency = info.value("currencyType", std::string());
    const StoreSale* sale = activeSale(*item, now);
    const std::vector<StorePrice>& effective = sale != nullptr ? sale->prices : item->prices;
    const StorePrice* price = nullptr;
    for (const StorePrice& candidate : effective) {
      if (candidate.currencyType == currency && candidate.purchasable) price = &candidate;
    }
    if (price == nullptr) {
      return badRequest(inventoryType + ":" + std::to_string(itemId) + " cannot be bought with '" +
                            currency + "'",
                        entry["itemKey"]);
    }
    std::int64_t seen = -1;
    if (!readInt(info.value("price", json()), 0, std::numeric_limits<std::int32_t>::max(), seen) ||
        seen != price->price) {
      return {409,
              {{"error", "the price of " + inventoryType + ":" + std::to_string(itemId) + " in " +
                             currency + " is " + std::to_string(price->price)},
               {"itemKey", entry["itemKey"]},
               {"price", price->price}}};
    }
    totals[currency] += price->price * quantity;
    lines.push_back({item, quantity, currency});
  }

  const std::lock_guard<std::mutex> lock(mutex_);
  StoreAccount* account = nullptr;
  for (StoreAccount& candidate : accounts_) {
    if (candidate.accountId == accountId) account = &candidate;
  }
  if (account == nullptr) return {401, {{"error", "unknown account"}}};
  for (const auto& [currency, total] : totals) {
    const std::int64_t balance = account->balances[currency];
    if (balance < total) {
      return {402,
              {{"error", "insufficient funds"},
               {"currencyType", currency},
               {"balance", balance},
               {"required", total}}};
    }
  }
  json items = json::array();
  json transactions = json::array();
  for (const auto& [currency, total] : totals) account->balances[currency] -= total;
  ++account->version;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    const json key = {{"inventoryType", line.item->inventoryType}, {"itemId", line.item->itemId}};
    items.push_back(requested[i]);
    transactions.push_back({{"transactionId", "txn-" + std::to_string(account->accountId) + "-" +
                                                  std::to_string(++account->transactions)},
                            {"itemKey", key},
                            {"itemName", localized(line.item->names, defaultLanguage_)},
                            {"iconUrl", line.item->iconUrl}});
  }
  return {200,
          {{"items", std::move(items)},
           {"transactions", std::move(transactions)},
           {"wallet", walletLocked(*account)}}};
}

json StoreCatalogue::wallet(std::uint64_t accountId) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (const StoreAccount& account : accounts_) {
    if (account.accountId == accountId) return walletLocked(account);
  }
  return nullptr;
}

json StoreCatalogue::walletLocked(const StoreAccount& account) const {
  json balances = json::array();
  for (const auto& [currency, amount] : account.balances) {
    balances.push_back({{"currencyType", currency}, {"amount", amount}});
  }
  return {{"accountId", account.accountId},
          {"balances", std::move(balances)},
          {"version", account.version}};
}

}  // namespace tev::devhost
