// Store calls without a host: URL, headers, body, refusals and the mapping of the store's answer.
#include "purchase_widget/store_call.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/binding_registry.h"
#include "purchase_widget/purchase_api_types.h"
#include "serialization/json_reader.h"
#include "serialization/json_writer.h"

namespace tev::purchase_widget {
namespace {

using Orvik::Client::PurchaseWidget::Api::PurchaseItem;
using Orvik::Client::PurchaseWidget::Api::PurchaseRequest;
using Orvik::Client::PurchaseWidget::Api::ValidationRequest;
using Orvik::Client::PurchaseWidget::Api::ValidationRequestItem;

TEST(PercentEncode, UnreservedCharactersStayAsTheyAre) {
  EXPECT_EQ(percentEncode("en_US"), "en_US");
  EXPECT_EQ(percentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(percentEncode(""), "");
}

TEST(PercentEncode, EveryOtherByteIsEscapedInUpperCaseHex) {
  EXPECT_EQ(percentEncode("en&x=1#f"), "en%26x%3D1%23f");
  EXPECT_EQ(percentEncode("a b+c/d?e%"), "a%20b%2Bc%2Fd%3Fe%25");
  EXPECT_EQ(percentEncode(std::string("\0\x7f\xff\xc3\xa9", 5)), "%00%7F%FF%C3%A9");
}

TEST(StoreUrl, TheBaseUrlIsUsedAsItStands) {
  EXPECT_EQ(storeUrl(StoreOperation::kValidate, "https://store.example/api/", "en_US"),
            "https://store.example/api/v1/validate?language=en_US");
  EXPECT_EQ(storeUrl(StoreOperation::kValidate, "https://store.example/api", "en_US"),
            "https://store.example/apiv1/validate?language=en_US");
  EXPECT_EQ(storeUrl(StoreOperation::kValidate, "https://s/", ""),
            "https://s/v1/validate?language=");
  EXPECT_EQ(storeUrl(StoreOperation::kPurchase, "https://s/", "en_US"), "https://s/v1/purchase");
}

TEST(StoreUrl, ALocaleCannotRewriteTheQuery) {
  EXPECT_EQ(storeUrl(StoreOperation::kValidate, "https://s/", "en&admin=1#x"),
            "https://s/v1/validate?language=en%26admin%3D1%23x");
}

TEST(StoreUrl, ALongBaseUrlIsKeptWhole) {
  const std::string base = "https://s/" + std::string(5000, 'p') + "/";
  const String url = storeUrl(StoreOperation::kPurchase, base, "");
  EXPECT_EQ(std::string(url), base + "v1/purchase");
}

TEST(StoreHeaders, ContentTypeAndTheWholeBearerToken) {
  HeaderMap headers = storeHeaders("");
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers["Content-type"], "application/json");
  EXPECT_EQ(headers["Authorization"], "Bearer ");
  const std::string token(5000, 'k');
  headers = storeHeaders(token);
  EXPECT_EQ(std::string(headers["Authorization"]), "Bearer " + token);
}

ExternalResponse answer(std::int32_t error, std::int32_t status, std::int32_t decodeError,
                        const char* message, const char* bodyJson) {
  ExternalResponse response;
  response.error = error;
  response.status = status;
  response.decodeError = decodeError;
  response.message = message;
  if (bodyJson != nullptr) {
    BindingResult parsed = parseJson(bodyJson);
    EXPECT_TRUE(parsed.ok()) << bodyJson;
    response.body = parsed.value();
  }
  return response;
}

std::string json(const BindingProperty& value) { return std::string(writeJson(value)); }

TEST(MapStoreAnswer, EachCaseGivesItsStatusAndText) {
  struct Row {
    ExternalResponse in;
    bool ok;
    std::int32_t status;
    const char* value;  // JSON of the result's value
  };
  const std::vector<Row> rows = {
      {answer(0, 200, 0, "", R"({"valid":true})"), true, 0, R"({"valid":true})"},
      {answer(1, 0, -1, "connection refused", nullptr), false, 500,
       R"({"error":"Could not connect to the server: connection refused"})"},
      {answer(2, 0, -1, "timeout", nullptr), false, 500,
       R"({"error":"Could not connect to the server: timeout"})"},
      {answer(0, 302, 0, "", R"({"to":"x"})"), false, 500,
       R"({"error":"Received an error status from the server: 302 - "})"},
      {answer(0, 101, 1, "body was empty", nullptr), false, 500,
       R"({"error":"Received an error status from the server: 101 - body was empty"})"},
      {answer(0, 200, 1, "Error converting response for POST u: body was empty", nullptr), false,
       500,
       R"({"error":"Could not decode body returned from the server: 200 - )"
       R"(Error converting response for POST u: body was empty"})"},
      {answer(0, 404, 0, "", R"({"code":"NOT_FOUND"})"), true, 404, R"({"code":"NOT_FOUND"})"},
      {answer(0, 404, 1, "body was empty", nullptr), true, 404, ""},
      {answer(0, 503, 1, "bad json", R"("<html>down</html>")"), true, 503,
       R"("<html>down</html>")"},
      {answer(0, 400, 0, "", R"({"errors":[1]})"), true, 400, R"({"errors":[1]})"},
      {answer(0, 299, 0, "", "[]"), true, 0, "[]"},
      {answer(0, 300, 0, "", "[]"), false, 500,
       R"({"error":"Received an error status from the server: 300 - "})"},
      {answer(0, -5, 0, "", "[]"), false, 500,
       R"({"error":"Received an error status from the server: -5 - "})"},
  };
  for (const Row& row : rows) {
    const CallResult call = mapStoreAnswer(row.in);
    SCOPED_TRACE("status " + std::to_string(row.in.status) + ", error " +
                 std::to_string(row.in.error));
    EXPECT_EQ(call.result.ok(), row.ok);
    EXPECT_EQ(call.status, row.status);
    EXPECT_EQ(json(call.result.value()), row.value);
    EXPECT_TRUE(call.headers.empty());
    EXPECT_TRUE(call.statusText.empty());
  }
}

TEST(MapStoreAnswer, TheStoresHeadersAreNotPassedOn) {
  ExternalResponse response = answer(0, 200, 0, "", "1");
  response.headers.emplace("Set-Cookie", "x");
  EXPECT_TRUE(mapStoreAnswer(response).headers.empty());
}

// Records what callStore posts and answers with a scripted response.
struct FakeStore {
  ExternalResponse reply = answer(0, 200, 0, "", R"({"ok":1})");
  struct Post {
    std::string url;
    std::string body;
    std::uint32_t parameter = 0;
    HeaderMap headers;
  };
  std::vector<Post> posts;

  auto poster() {
    return [this](std::string_view url, std::string_view body, std::uint32_t parameter,
                  const HeaderMap& headers) {
      posts.push_back(Post{std::string(url), std::string(body), parameter, headers});
      return reply;
    };
  }
};

class CallStore : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.initialize();
    const String tags[] = {String("Plugins")};
    Orvik::Client::PurchaseWidget::Api::registerPurchaseTypes(registry_, "TevPurchaseWidget", tags);
    state_.enabled = true;
    state_.baseUrl = "https://store/api/";
    state_.locale = "en_US";
  }

  static ValidationRequest oneItem() {
    ValidationRequestItem item;
    item.itemKey.inventoryType = "CHAMPION";
    item.itemKey.itemId = 5;
    item.quantity = 2;
    ValidationRequest request;
    request.items.push_back(item);
    return request;
  }

  BindingRegistry registry_;
  StoreSnapshot state_;
  FakeStore store_;
};

TEST_F(CallStore, ADisabledWidgetRefusesAndSendsNothing) {
  state_.enabled = false;
  for (const CallResult& call :
       {callStore(state_, StoreOperation::kValidate, oneItem(), &registry_, store_.poster()),
        callStore(state_, StoreOperation::kPurchase, PurchaseRequest{}, &registry_,
                  store_.poster())}) {
    EXPECT_FALSE(call.result.ok());
    EXPECT_EQ(call.result.error(), "purchase widget not enabled");
    EXPECT_EQ(call.status, 404);
  }
  EXPECT_TRUE(store_.posts.empty());
}

TEST_F(CallStore, ValidationPostsCompactJsonWithHeadersParameterAndUrl) {
  state_.idToken = "tok";
  const CallResult call =
      callStore(state_, StoreOperation::kValidate, oneItem(), &registry_, store_.poster());
  ASSERT_EQ(store_.posts.size(), 1u);
  const FakeStore::Post& post = store_.posts[0];
  EXPECT_EQ(post.url, "https://store/api/v1/validate?language=en_US");
  EXPECT_EQ(post.body,
            R"({"items":[{"itemKey":{"inventoryType":"CHAMPION","itemId":5},"quantity":2}]})");
  EXPECT_EQ(post.parameter, 20u);
  ASSERT_EQ(post.headers.size(), 2u);
  EXPECT_EQ(post.headers.at("Authorization"), "Bearer tok");
  EXPECT_EQ(post.headers.at("Content-type"), "application/json");
  EXPECT_TRUE(call.result.ok());
  EXPECT_EQ(call.status, 0);
  EXPECT_EQ(json(call.result.value()), R"({"ok":1})");
}

TEST_F(CallStore, PurchasePostsToThePurchasePathWithoutQuery) {
  PurchaseItem item;
  item.itemKey.itemId = 1;
  item.quantity = 1;
  item.source = "cart";
  PurchaseRequest request;
  request.items.push_back(item);
  static_cast<void>(
      callStore(state_, StoreOperation::kPurchase, request, &registry_, store_.poster()));
  ASSERT_EQ(store_.posts.size(), 1u);
  EXPECT_EQ(store_.posts[0].url, "https://store/api/v1/purchase");
  EXPECT_EQ(store_.posts[0].body,
            R"({"items":[{"itemKey":{"inventoryType":"","itemId":1},)"
            R"("purchaseCurrencyInfo":{"currencyType":"","price":0,"purchasable":false},)"
            R"("quantity":1,"source":"cart"}]})");
  EXPECT_EQ(store_.posts[0].headers.at("Authorization"), "Bearer ");
}

TEST_F(CallStore, ARequestThatCannotBeWrittenIsRefusedUnsent) {
  // Without a registry the records have no descriptor to be written with.
  const CallResult call =
      callStore(state_, StoreOperation::kValidate, oneItem(), nullptr, store_.poster());
  EXPECT_FALSE(call.result.ok());
  EXPECT_EQ(call.result.error(), "error serializing request");
  EXPECT_EQ(call.status, 500);
  EXPECT_TRUE(store_.posts.empty());
}

TEST_F(CallStore, TheStoresErrorStatusAndBodyReachTheCaller) {
  store_.reply = answer(0, 409, 0, "", R"({"errorCode":"INSUFFICIENT_FUNDS"})");
  const CallResult call =
      callStore(state_, StoreOperation::kPurchase, PurchaseRequest{}, &registry_, store_.poster());
  EXPECT_TRUE(call.result.ok());
  EXPECT_EQ(call.status, 409);
  EXPECT_EQ(json(call.result.value()), R"({"errorCode":"INSUFFICIENT_FUNDS"})");
}

}  // namespace
}  // namespace tev::purchase_widget
