#include "purchase_widget/purchase_api_types.h"

#include "binding/binding_field_registration.h"
#include "binding/binding_registry.h"

namespace Orvik::Client::PurchaseWidget::Api {
namespace {

using tev::addBindingField;
using tev::BindingTypeBuilder;

// Registers each type under the namespace name followed by its own name, with the tags.
class TypeRegistrar {
 public:
  TypeRegistrar(tev::BindingRegistry& registry, std::string_view namespaceName,
                std::span<const String> tags)
      : registry_(registry), namespaceName_(namespaceName), tags_(tags) {}

  template <typename T>
  BindingTypeBuilder add(std::string_view name) {
    String fullName = tev::toString(namespaceName_);
    fullName.append(name.data(), name.size());
    BindingTypeBuilder builder = tev::registerBindingType<T>(registry_, fullName);
    builder.addTags(tags_);
    return builder;
  }

 private:
  tev::BindingRegistry& registry_;
  std::string_view namespaceName_;
  std::span<const String> tags_;
};

}  // namespace

void registerPurchaseTypes(tev::BindingRegistry& registry, std::string_view namespaceName,
                           std::span<const String> tags) {
  // Field references are resolved as each field is added, so every type comes after the types
  // its fields name.
  TypeRegistrar types(registry, namespaceName, tags);
  {
    auto b = types.add<PurchaseWidgetConfig>("PurchaseWidgetConfig");
    addBindingField(b, "enabled", &PurchaseWidgetConfig::enabled);
    addBindingField(b, "purchaseDisclaimerEnabled",
                    &PurchaseWidgetConfig::purchaseDisclaimerEnabled);
  }
  {
    auto b = types.add<ItemKey>("ItemKey");
    addBindingField(b, "inventoryType", &ItemKey::inventoryType);
    addBindingField(b, "itemId", &ItemKey::itemId);
  }
  {
    auto b = types.add<ItemPrice>("ItemPrice");
    addBindingField(b, "currencyType", &ItemPrice::currencyType);
    addBindingField(b, "price", &ItemPrice::price);
    addBindingField(b, "purchasable", &ItemPrice::purchasable);
  }
  {
    auto b = types.add<Sale>("Sale");
    addBindingField(b, "startDate", &Sale::startDate);
    addBindingField(b, "endDate", &Sale::endDate);
    addBindingField(b, "prices", &Sale::prices);
  }
  {
    auto b = types.add<ValidationRequestItem>("ValidationRequestItem");
    addBindingField(b, "itemKey", &ValidationRequestItem::itemKey);
    addBindingField(b, "quantity", &ValidationRequestItem::quantity);
  }
  {
    auto b = types.add<ValidationResponseItem>("ValidationResponseItem");
    addBindingField(b, "itemKey", &ValidationResponseItem::itemKey);
    addBindingField(b, "quantity", &ValidationResponseItem::quantity);
    addBindingField(b, "prices", &ValidationResponseItem::prices);
    addBindingField(b, "sale", &ValidationResponseItem::sale);
    addBindingField(b, "name", &ValidationResponseItem::name);
    addBindingField(b, "description", &ValidationResponseItem::description);
  }
  {
    auto b = types.add<PurchaseItem>("PurchaseItem");
    addBindingField(b, "itemKey", &PurchaseItem::itemKey);
    addBindingField(b, "quantity", &PurchaseItem::quantity);
    addBindingField(b, "source", &PurchaseItem::source);
    addBindingField(b, "purchaseCurrencyInfo", &PurchaseItem::purchaseCurrencyInfo);
  }
  {
    auto b = types.add<ValidationRequest>("ValidationRequest");
    addBindingField(b, "items", &ValidationRequest::items);
  }
  {
    auto b = types.add<ValidationResponse>("ValidationResponse");
    addBindingField(b, "items", &ValidationResponse::items);
    addBindingField(b, "valid", &ValidationResponse::valid);
  }
  types.add<LoginSessionStates>("LoginSessionStates")
      .addEnumerator("IN_PROGRESS", static_cast<std::int32_t>(LoginSessionStates::IN_PROGRESS))
      .addEnumerator("ERROR", static_cast<std::int32_t>(LoginSessionStates::ERROR))
      .addEnumerator("SUCCEEDED", static_cast<std::int32_t>(LoginSessionStates::SUCCEEDED))
      .addEnumerator("LOGGING_OUT", static_cast<std::int32_t>(LoginSessionStates::LOGGING_OUT));
  {
    auto b = types.add<LoginSession>("LoginSession");
    addBindingField(b, "state", &LoginSession::state);
    addBindingField(b, "tivanId", &LoginSession::tivanId);
    addBindingField(b, "accountId", &LoginSession::accountId);
    addBindingField(b, "idToken", &LoginSession::idToken);
  }
  {
    auto b = types.add<PurchaseRequest>("PurchaseRequest");
    addBindingField(b, "items", &PurchaseRequest::items);
  }
  {
    auto b = types.add<Transaction>("Transaction");
    addBindingField(b, "transactionId", &Transaction::transactionId);
    addBindingField(b, "itemKey", &Transaction::itemKey);
    addBindingField(b, "itemName", &Transaction::itemName);
    addBindingField(b, "iconUrl", &Transaction::iconUrl);
  }
  {
    auto b = types.add<Balance>("Balance");
    addBindingField(b, "currencyType", &Balance::currencyType);
    addBindingField(b, "amount", &Balance::amount);
  }
  {
    auto b = types.add<Wallet>("Wallet");
    addBindingField(b, "accountId", &Wallet::accountId);
    addBindingField(b, "balances", &Wallet::balances);
    addBindingField(b, "version", &Wallet::version);
  }
  {
    auto b = types.add<PurchaseResponse>("PurchaseResponse");
    addBindingField(b, "items", &PurchaseResponse::items);
    addBindingField(b, "transactions", &PurchaseResponse::transactions);
    addBindingField(b, "wallet", &PurchaseResponse::wallet);
  }
}

}  // namespace Orvik::Client::PurchaseWidget::Api
