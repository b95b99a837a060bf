// The records the purchase widget exchanges with the front end, the store service and the login
// plugin, and their registration in a plugin's registry. Plain values owned by whoever holds
// them; the descriptors belong to the registry they are registered in. The store's answers are
// passed through as generic values, so ValidationResponse and PurchaseResponse only describe them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "binding/binding_type_info.h"
#include "platform/allocator.h"

namespace tev {
class BindingRegistry;
}  // namespace tev

namespace Orvik::Client::PurchaseWidget::Api {

using tev::String;
using tev::Vector;

// The widget's configuration as the front end sees it; the store calls are refused while
// `enabled` is false.
struct PurchaseWidgetConfig {
  bool enabled = false;
  bool purchaseDisclaimerEnabled = false;
};

struct ItemKey {
  String inventoryType;
  std::int32_t itemId = 0;
};

struct ItemPrice {
  String currencyType;
  std::int32_t price = 0;
  bool purchasable = false;
};

// A timed sale; the dates are kept as the store sends them.
struct Sale {
  String startDate;
  String endDate;
  Vector<ItemPrice> prices;
};

struct ValidationRequestItem {
  ItemKey itemKey;
  std::int32_t quantity = 0;
};

struct ValidationResponseItem {
  ItemKey itemKey;
  std::int32_t quantity = 0;
  Vector<ItemPrice> prices;
  std::optional<Sale> sale;
  std::optional<String> name;
  std::optional<String> description;
};

struct PurchaseItem {
  ItemKey itemKey;
  std::int32_t quantity = 0;
  String source;
  ItemPrice purchaseCurrencyInfo;
};

struct ValidationRequest {
  Vector<ValidationRequestItem> items;
};

struct ValidationResponse {
  Vector<ValidationResponseItem> items;
  bool valid = false;
};

// The enumerator names are the login plugin's texts.
enum class LoginSessionStates : std::int32_t {
  IN_PROGRESS = 0,
  SUCCEEDED = 1,
  LOGGING_OUT = 2,
  ERROR = 3,
};

// The login plugin's session resource, as far as this plugin reads it.
struct LoginSession {
  LoginSessionStates state = LoginSessionStates::IN_PROGRESS;
  std::uint64_t tivanId = 0;
  std::uint64_t accountId = 0;
  String idToken;  // the bearer token of the store calls
};

struct PurchaseRequest {
  Vector<PurchaseItem> items;
};

struct Transaction {
  String transactionId;
  ItemKey itemKey;
  String itemName;
  String iconUrl;
};

struct Balance {
  String currencyType;
  std::int32_t amount = 0;
};

struct Wallet {
  std::uint64_t accountId = 0;
  Vector<Balance> balances;
  std::int32_t version = 0;
};

struct PurchaseResponse {
  Vector<PurchaseItem> items;
  Vector<Transaction> transactions;
  Wallet wallet;
};

// Registers the sixteen types in `registry` as `namespaceName` followed by the type's name, each
// with `tags` and empty descriptions, every type after the types its fields refer to. Names that
// are registered already keep their first registration. Throws std::bad_alloc when memory runs
// out.
void registerPurchaseTypes(tev::BindingRegistry& registry, std::string_view namespaceName,
                           std::span<const String> tags);

}  // namespace Orvik::Client::PurchaseWidget::Api

TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::PurchaseWidgetConfig);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::ItemKey);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::ItemPrice);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::Sale);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::ValidationRequestItem);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::ValidationResponseItem);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::PurchaseItem);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::ValidationRequest);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::ValidationResponse);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::LoginSessionStates);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::LoginSession);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::PurchaseRequest);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::Transaction);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::Balance);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::Wallet);
TEV_BINDING_TYPE(Orvik::Client::PurchaseWidget::Api::PurchaseResponse);
