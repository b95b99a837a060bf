// The purchase API types: their registration and their JSON shape in both directions.
#include "purchase_widget/purchase_api_types.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/binding_conversion.h"
#include "binding/binding_registry.h"
#include "serialization/json_reader.h"
#include "serialization/json_writer.h"

namespace {

using namespace Orvik::Client::PurchaseWidget::Api;
using ::testing::ElementsAre;

const tev::String kTags[] = {tev::String("Plugins"), tev::String("Plugin tev-purchase-widget")};

class PurchaseTypes : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.initialize();
    registerPurchaseTypes(registry_, "TevPurchaseWidget", kTags);
  }

  // JSON text to T through the registry; the conversion's error, or "" on success.
  template <typename T>
  std::string fromJson(const char* json, T& native) {
    tev::BindingResult parsed = tev::parseJson(json);
    EXPECT_TRUE(parsed.ok()) << json;
    tev::BindingResult converted;
    if (tev::convertToNative(converted, parsed.value(), native, "<value>", &registry_)) return "";
    return std::string(converted.error());
  }

  template <typename T>
  std::string toJson(const T& native) {
    tev::BindingResult value;
    EXPECT_TRUE(tev::convertToValue(value, native, &registry_)) << value.error();
    return std::string(tev::writeJson(value.value(), &registry_));
  }

  const tev::BindingTypeDescriptor& type(const char* name) {
    const tev::BindingTypeDescriptor* descriptor = registry_.findType(name);
    EXPECT_NE(descriptor, nullptr) << name;
    static const tev::BindingTypeDescriptor kMissing;
    return descriptor != nullptr ? *descriptor : kMissing;
  }

  static std::vector<std::string> fieldNames(const tev::BindingTypeDescriptor& descriptor) {
    std::vector<std::string> names;
    for (const auto& field : descriptor.fields) names.emplace_back(field.name);
    return names;
  }

  tev::BindingRegistry registry_;
};

TEST_F(PurchaseTypes, AllSixteenAreRegisteredUnderThePrefixWithTheTagsAndNoDescriptions) {
  const char* names[] = {"PurchaseWidgetConfig",
                         "ItemKey",
                         "ItemPrice",
                         "Sale",
                         "ValidationRequestItem",
                         "ValidationResponseItem",
                         "PurchaseItem",
                         "ValidationRequest",
                         "ValidationResponse",
                         "LoginSessionStates",
                         "LoginSession",
                         "PurchaseRequest",
                         "Transaction",
                         "Balance",
                         "Wallet",
                         "PurchaseResponse"};
  for (const char* name : names) {
    const auto& descriptor = type(("TevPurchaseWidget" + std::string(name)).c_str());
    std::vector<std::string> tags(descriptor.tags.begin(), descriptor.tags.end());
    EXPECT_THAT(tags, ElementsAre("Plugins", "Plugin tev-purchase-widget")) << name;
    EXPECT_TRUE(descriptor.description.empty()) << name;
    for (const auto& field : descriptor.fields) EXPECT_TRUE(field.description.empty()) << name;
    EXPECT_EQ(registry_.findType(name), nullptr) << "registered without prefix: " << name;
  }
}

TEST_F(PurchaseTypes, FieldsFollowTheRecordOrderAndResolveTheirReferencedTypes) {
  EXPECT_THAT(fieldNames(type("TevPurchaseWidgetValidationResponseItem")),
              ElementsAre("itemKey", "quantity", "prices", "sale", "name", "description"));
  EXPECT_THAT(fieldNames(type("TevPurchaseWidgetLoginSession")),
              ElementsAre("state", "tivanId", "accountId", "idToken"));
  EXPECT_THAT(fieldNames(type("TevPurchaseWidgetPurchaseResponse")),
              ElementsAre("items", "transactions", "wallet"));

  const auto& item = type("TevPurchaseWidgetValidationResponseItem");
  // Only sale, name and description are optional.
  for (const auto& field : item.fields) {
    EXPECT_EQ(field.optional != 0,
              field.name == "sale" || field.name == "name" || field.name == "description")
        << field.name;
    EXPECT_EQ(field.flags, 0u) << field.name;
  }
  EXPECT_EQ(item.fields[0].type.type, tev::BindingBuiltinType::kStruct);
  EXPECT_EQ(item.fields[0].type.descriptor, &type("TevPurchaseWidgetItemKey"));
  EXPECT_EQ(item.fields[2].type.type, tev::BindingBuiltinType::kVector);
  EXPECT_EQ(item.fields[2].type.elementType, tev::BindingBuiltinType::kStruct);
  EXPECT_EQ(item.fields[2].type.descriptor, &type("TevPurchaseWidgetItemPrice"));

  const auto& session = type("TevPurchaseWidgetLoginSession");
  EXPECT_EQ(session.fields[0].type.type, tev::BindingBuiltinType::kEnum);
  EXPECT_EQ(session.fields[0].type.descriptor, &type("TevPurchaseWidgetLoginSessionStates"));
  EXPECT_EQ(session.fields[1].type.type, tev::BindingBuiltinType::kUint64);
  EXPECT_EQ(type("TevPurchaseWidgetItemKey").fields[1].type.type, tev::BindingBuiltinType::kInt32);
}

TEST_F(PurchaseTypes, SessionStatesAreAnEnumerationListedInNameOrder) {
  const auto& states = type("TevPurchaseWidgetLoginSessionStates");
  EXPECT_TRUE(states.isEnumeration);
  std::vector<std::pair<std::string, int>> enumerators;
  for (const auto& [name, enumerator] : states.enumerators) {
    enumerators.emplace_back(std::string(name), enumerator.value);
    EXPECT_TRUE(enumerator.description.empty());
  }
  EXPECT_THAT(enumerators, ElementsAre(std::pair<std::string, int>("ERROR", 3),
                                       std::pair<std::string, int>("IN_PROGRESS", 0),
                                       std::pair<std::string, int>("LOGGING_OUT", 2),
                                       std::pair<std::string, int>("SUCCEEDED", 1)));
}

TEST_F(PurchaseTypes, RegisteringAgainChangesNothing) {
  const tev::BindingTypeDescriptor* before = registry_.findType("TevPurchaseWidgetItemKey");
  const std::size_t count = registry_.typeSnapshot().size();
  const tev::String otherTags[] = {tev::String("Other")};
  registerPurchaseTypes(registry_, "TevPurchaseWidget", otherTags);
  EXPECT_EQ(registry_.typeSnapshot().size(), count);
  EXPECT_EQ(registry_.findType("TevPurchaseWidgetItemKey"), before);
  EXPECT_EQ(before->fields.size(), 2u);
  EXPECT_EQ(before->tags.size(), 2u);
}

TEST_F(PurchaseTypes, OptionalMembersWithoutValueAreWrittenAsNull) {
  ValidationResponseItem item;
  item.itemKey.inventoryType = "CHAMPION";
  item.itemKey.itemId = 5;
  EXPECT_EQ(toJson(item),
            R"({"description":null,"itemKey":{"inventoryType":"CHAMPION","itemId":5},)"
            R"("name":null,"prices":[],"quantity":0,"sale":null})");
  item.name = tev::String();
  item.sale = Sale{};
  EXPECT_EQ(toJson(item),
            R"({"description":null,"itemKey":{"inventoryType":"CHAMPION","itemId":5},)"
            R"("name":"","prices":[],"quantity":0,)"
            R"("sale":{"endDate":"","prices":[],"startDate":""}})");
}

TEST_F(PurchaseTypes, EveryMemberIsWrittenEvenWhenFalseOrEmpty) {
  EXPECT_EQ(toJson(ValidationResponse{}), R"({"items":[],"valid":false})");
  EXPECT_EQ(toJson(PurchaseWidgetConfig{}),
            R"({"enabled":false,"purchaseDisclaimerEnabled":false})");
  LoginSession session;
  session.state = LoginSessionStates::LOGGING_OUT;
  EXPECT_EQ(toJson(session), R"({"accountId":0,"idToken":"","state":"LOGGING_OUT","tivanId":0})");
}

TEST_F(PurchaseTypes, OptionalMembersReadBackFromJson) {
  ValidationResponseItem item;
  ASSERT_EQ(
      fromJson(R"({"name":"Ahri","sale":{"prices":[{"price":975}]},"description":null})", item),
      "");
  ASSERT_TRUE(item.name.has_value());
  EXPECT_EQ(*item.name, "Ahri");
  ASSERT_TRUE(item.sale.has_value());
  ASSERT_EQ(item.sale->prices.size(), 1u);
  EXPECT_EQ(item.sale->prices[0].price, 975);
  EXPECT_FALSE(item.description.has_value());
}

TEST_F(PurchaseTypes, MissingMembersKeepTheirDefaults) {
  ValidationRequest request;
  ASSERT_EQ(fromJson(R"({"items":[{"itemKey":{"itemId":7}},{}]})", request), "");
  ASSERT_EQ(request.items.size(), 2u);
  EXPECT_EQ(request.items[0].itemKey.itemId, 7);
  EXPECT_EQ(request.items[0].quantity, 0);
  EXPECT_TRUE(request.items[1].itemKey.inventoryType.empty());
}

TEST_F(PurchaseTypes, SessionStateIsReadByNameAndIdsTakeTheFullUnsignedRange) {
  LoginSession session;
  ASSERT_EQ(fromJson(R"({"state":"SUCCEEDED","tivanId":18446744073709551615,)"
                     R"("accountId":18446744073709551615,"idToken":"t","puuid":"x"})",
                     session),
            "");
  EXPECT_EQ(session.state, LoginSessionStates::SUCCEEDED);
  EXPECT_EQ(static_cast<int>(session.state), 1);
  EXPECT_EQ(session.tivanId, 18446744073709551615u);
  EXPECT_EQ(session.accountId, 18446744073709551615u);
  EXPECT_EQ(session.idToken, "t");
}

TEST_F(PurchaseTypes, BadInputIsRefusedWithAMessage) {
  LoginSession session;
  EXPECT_NE(fromJson(R"({"state":"LOGGED_IN"})", session), "");
  EXPECT_NE(fromJson(R"({"accountId":-1})", session), "");
  ValidationRequest request;
  EXPECT_EQ(fromJson(R"({"items":5})", request),
            "Couldn't assign value to 'items' of type vector because the input not a collection.");
  ItemKey key;
  EXPECT_NE(fromJson(R"({"itemId":2147483648})", key), "");
}

TEST_F(PurchaseTypes, PurchaseRecordsRoundTrip) {
  PurchaseRequest request;
  ASSERT_EQ(fromJson(R"({"items":[{"itemKey":{"inventoryType":"SKIN","itemId":3},"quantity":1,)"
                     R"("source":"store","purchaseCurrencyInfo":{"currencyType":"RP",)"
                     R"("price":520,"purchasable":true}}]})",
                     request),
            "");
  EXPECT_EQ(toJson(request),
            R"({"items":[{"itemKey":{"inventoryType":"SKIN","itemId":3},)"
            R"("purchaseCurrencyInfo":{"currencyType":"RP","price":520,"purchasable":true},)"
            R"("quantity":1,"source":"store"}]})");
  PurchaseResponse response;
  ASSERT_EQ(fromJson(R"({"transactions":[{"transactionId":"t1","itemKey":{"itemId":3}}],)"
                     R"("wallet":{"accountId":9,"balances":[{"currencyType":"RP","amount":5}],)"
                     R"("version":2}})",
                     response),
            "");
  ASSERT_EQ(response.transactions.size(), 1u);
  EXPECT_EQ(response.transactions[0].itemKey.itemId, 3);
  EXPECT_EQ(response.wallet.accountId, 9u);
  ASSERT_EQ(response.wallet.balances.size(), 1u);
  EXPECT_EQ(response.wallet.balances[0].amount, 5);
}

}  // namespace
