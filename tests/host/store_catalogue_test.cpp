// The embedded store's rules, on the catalogue file of the repository.
#include "host/store/store_catalogue.h"

#include <gtest/gtest.h>

#include "host/store/store_service.h"
#include "tests/host/shipped_catalogue.h"

namespace tev::devhost {
namespace {

using nlohmann::json;

constexpr char kNow[] = "2030-06-01T12:00:00Z";
constexpr std::uint64_t kPlayer = 1001;
constexpr std::uint64_t kPoorPlayer = 1002;

class StoreRules : public ::testing::Test {
 protected:
  void SetUp() override { loadShippedCatalogue(catalogue_); }

  static json item(const char* type, int id, int quantity) {
    return {{"itemKey", {{"inventoryType", type}, {"itemId", id}}}, {"quantity", quantity}};
  }
  static json bought(const char* type, int id, int quantity, const char* currency, int price) {
    json line = item(type, id, quantity);
    line["purchaseCurrencyInfo"] = {
        {"currencyType", currency}, {"price", price}, {"purchasable", true}};
    return line;
  }
  std::int64_t balance(std::uint64_t account, const char* currency) const {
    const json wallet = catalogue_.wallet(account);
    for (const json& entry : wallet["balances"]) {
      if (entry["currencyType"] == currency) return entry["amount"].get<std::int64_t>();
    }
    return -1;
  }

  StoreCatalogue catalogue_;
};

TEST_F(StoreRules, ValidationShowsPricesActiveSalesAndLocalizedNames) {
  const StoreAnswer answer = catalogue_.validate(
      {{"items", {item("BANNER", 202, 1), item("BOOST", 303, 4)}}}, "de_DE", kNow);
  ASSERT_EQ(answer.status, 200) << answer.body;
  EXPECT_EQ(answer.body["valid"], true);
  const json& banner = answer.body["items"][0];
  EXPECT_EQ(banner["name"], "Kupferbanner");
  EXPECT_EQ(banner["prices"][0]["price"], 520);
  EXPECT_EQ(banner["sale"]["prices"][0]["price"], 260);  // running sale
  const json& boost = answer.body["items"][1];
  EXPECT_EQ(boost["sale"], nullptr);  // its sale ended long ago
  EXPECT_EQ(boost["description"], "Doubles the experience earned for one day.");  // en_US fallback
}

TEST_F(StoreRules, ValidityNeedsQuantitiesWithinLimitsAndSomethingToPayWith) {
  const auto valid = [this](json items) {
    return catalogue_.validate({{"items", std::move(items)}}, "en_US", kNow).body["valid"];
  };
  EXPECT_EQ(valid({item("COMPANION", 101, 1)}), true);
  EXPECT_EQ(valid({item("COMPANION", 101, 2)}), false);  // one at most
  EXPECT_EQ(valid({item("COMPANION", 101, 0)}), false);
  EXPECT_EQ(valid({item("EMOTE", 404, 1)}), false);  // not sold before its sale starts
  EXPECT_EQ(valid(json::array()), false);
  EXPECT_EQ(
      catalogue_.validate({{"items", {item("EMOTE", 404, 1)}}}, "en_US", "2099-06-01T00:00:00Z")
          .body["valid"],
      true);
  const StoreAnswer unknown = catalogue_.validate({{"items", {item("EMOTE", 1, 1)}}}, "", kNow);
  EXPECT_EQ(unknown.status, 400);
  EXPECT_EQ(unknown.body["error"], "unknown item EMOTE:1");
  EXPECT_EQ(catalogue_.validate({{"items", 5}}, "", kNow).status, 400);
  EXPECT_EQ(catalogue_.validate({{"items", {{{"itemKey", "x"}}}}}, "", kNow).status, 400);
}

TEST_F(StoreRules, PurchasesChargeTheWalletOnlyWhenEverythingChecksOut) {
  const StoreAnswer first = catalogue_.purchase(
      kPlayer,
      {{"items", {bought("BANNER", 202, 1, "GEM", 260), bought("BOOST", 303, 3, "GEM", 150)}}},
      kNow);
  ASSERT_EQ(first.status, 200) << first.body;
  EXPECT_EQ(balance(kPlayer, "GEM"), 5000 - 260 - 450);
  ASSERT_EQ(first.body["transactions"].size(), 2u);
  EXPECT_NE(first.body["transactions"][0]["transactionId"],
            first.body["transactions"][1]["transactionId"]);
  EXPECT_EQ(first.body["wallet"]["version"], 2);

  const struct {
    json line;
    int status;
  } kRefusals[] = {
      {bought("BANNER", 202, 1, "GEM", 520), 409},   // the regular price, while the sale runs
      {bought("BOOST", 303, 1, "COIN", 1200), 400},  // not purchasable with that currency
      {bought("BOOST", 303, 11, "GEM", 150), 400},   // more than the limit
      {bought("NOPE", 1, 1, "GEM", 1), 400},
  };
  for (const auto& row : kRefusals) {
    EXPECT_EQ(catalogue_.purchase(kPlayer, {{"items", {row.line}}}, kNow).status, row.status)
        << row.line;
  }
  // A refused basket charges nothing, even when its first line alone could be paid.
  const StoreAnswer poor =
      catalogue_.purchase(kPoorPlayer, {{"items", {bought("BOOST", 303, 1, "GEM", 150)}}}, kNow);
  EXPECT_EQ(poor.status, 402);
  EXPECT_EQ(poor.body["required"], 150);
  EXPECT_EQ(balance(kPoorPlayer, "GEM"), 100);
  EXPECT_EQ(balance(kPlayer, "GEM"), 5000 - 260 - 450);
  EXPECT_EQ(catalogue_.wallet(kPlayer)["version"], 2);
}

TEST_F(StoreRules, TokensIdentifyAccounts) {
  EXPECT_EQ(catalogue_.accountForToken("devhost-player-token"), kPlayer);
  EXPECT_EQ(catalogue_.accountForToken("devhost-second-player-token"), kPoorPlayer);
  EXPECT_EQ(catalogue_.accountForToken(""), std::nullopt);
  EXPECT_EQ(catalogue_.accountForToken("devhost-player-token "), std::nullopt);
  EXPECT_EQ(catalogue_.defaultAccount()->accountId, kPlayer);
}

TEST(StoreCatalogueLoading, MalformedCataloguesNameTheirFault) {
  const struct {
    const char* document;
    const char* error;
  } kRows[] = {
      {"[]", "the catalogue must be a JSON object"},
      {R"({"items":[{"itemId":1}]})",
       "item 0: needs inventoryType, a 32-bit itemId and a maxQuantity of at least 1"},
      {R"({"items":[{"inventoryType":"A","itemId":1,"prices":[{"currencyType":"G","price":-1}]}]})",
       "item 0: a price needs currencyType and a non-negative 32-bit price"},
      {R"({"items":[{"inventoryType":"A","itemId":1,"prices":[],"sales":[{"startDate":"2020","endDate":"x","prices":[]}]}]})",
       "item 0: a sale needs startDate and endDate as YYYY-MM-DDTHH:MM:SSZ"},
      {R"({"items":[{"inventoryType":"A","itemId":1,"prices":[]},{"inventoryType":"A","itemId":1,"prices":[]}]})",
       "item 1: repeats A:1"},
      {R"({"accounts":[{"token":"t","accountId":0,"tivanId":1}]})",
       "account 0: needs a token and positive accountId and tivanId"},
      {R"({"items":[{"inventoryType":"A","itemId":1,"prices":[],"iconUrl":5}]})",
       "malformed catalogue: [json.exception.type_error.302] type must be string, but is number"},
  };
  for (const auto& row : kRows) {
    StoreCatalogue catalogue;
    std::string error;
    EXPECT_FALSE(catalogue.load(json::parse(row.document), error)) << row.document;
    EXPECT_EQ(error, row.error);
  }
}

TEST(StoreFaultJson, RefusesWhatCannotBeAnswered) {
  StoreFault fault;
  std::string error;
  ASSERT_TRUE(StoreFault::fromJson(
      json::parse(R"({"status":503,"body":"<p>","contentType":"text/html","delayMs":10})"), fault,
      error))
      << error;
  EXPECT_EQ(fault.status, 503);
  EXPECT_EQ(fault.delayMs, 10);
  const struct {
    const char* fault;
    const char* error;
  } kRows[] = {
      {R"({"status":42})", "status must be 0 (answer normally) or from 100 to 599"},
      {R"({"status":600})", "status must be a whole number from 0 to 599"},
      {R"({"delayMs":-1})", "delayMs must be a whole number from 0 to 60000"},
      {R"({"headers":{"X":"a\r\nb"}})", "headers must be an object of texts without line breaks"},
      {R"({"contentType":"text/html\nX: y"})", "contentType must not hold a line break"},
      {R"({"colour":1})", "unknown fault member 'colour'"},
  };
  for (const auto& row : kRows) {
    EXPECT_FALSE(StoreFault::fromJson(json::parse(row.fault), fault, error)) << row.fault;
    EXPECT_EQ(error, row.error);
  }
}

}  // namespace
}  // namespace tev::devhost
