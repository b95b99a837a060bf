// The purchase widget library as a host drives it: loaded through its entry, started with the
// three resources, fed resource events, and called on its endpoints, with the store behind the
// host's external requests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/plugin/test_host.h"

namespace {

using plugintest::EndpointAnswer;
using plugintest::ExternalCall;
using plugintest::ExternalReply;
using plugintest::LocalReply;
using plugintest::TestHost;
using ::testing::ElementsAre;

constexpr std::uint32_t kGet = 2;
constexpr std::uint32_t kPost = 6;

constexpr char kConfigurationPath[] = "/tev-purchase-widget/v1/configuration";
constexpr char kValidatePath[] = "/tev-purchase-widget/v1/validateItems";
constexpr char kPurchasePath[] = "/tev-purchase-widget/v1/purchaseItems";

constexpr char kLocalePath[] = "/orvikclient/region-locale";
constexpr char kSessionPath[] = "/tev-login/v1/session";
constexpr char kPlatformPath[] = "/tev-platform-config/v1/namespaces/HuxPurchaseWidget";
constexpr char kLocaleEvent[] = "OnJsonApiEvent_orvikclient_region-locale";
constexpr char kSessionEvent[] = "OnJsonApiEvent_tev-login_v1_session";
constexpr char kPlatformEvent[] =
    "OnJsonApiEvent_tev-platform-config_v1_namespaces_HuxPurchaseWidget";
constexpr char kConfigurationEvent[] = "OnJsonApiEvent_tev-purchase-widget_v1_configuration";

constexpr char kStore[] = "https://store.test/api/";
constexpr char kValidateUrl[] = "https://store.test/api/v1/validate?language=en_US";
constexpr char kPurchaseUrl[] = "https://store.test/api/v1/purchase";
constexpr char kOneItem[] = R"({"items":[{"itemKey":{"inventoryType":"CHAMPION","itemId":5},)"
                            R"("quantity":2}]})";

std::string header(const ExternalCall& call, const std::string& name) {
  for (const auto& [key, value] : call.headers) {
    if (key == name) return value;
  }
  return "<missing>";
}

class PurchaseWidgetHost : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_unique<TestHost>();
    ASSERT_TRUE(host_->open(TEV_WIDGET_LIBRARY, "load_tev_purchase_widget")) << TEV_WIDGET_LIBRARY;
    host_->load(18, 0, 0);
    ASSERT_TRUE(host_->loaded());
  }

  // Initialises the plugin; resources without a scripted reply cannot be fetched at start.
  void start() { ASSERT_TRUE(host_->initialize()); }

  // Starts with the widget enabled at kStore, locale en_US and a logged-in session.
  void startReady(const std::string& token = "token-1") {
    replyResource(kPlatformPath, R"({"Enabled":true,"BaseUrl":")" + std::string(kStore) + "\"}");
    replyResource(kLocalePath, R"({"locale":"en_US"})");
    replyResource(kSessionPath, session("SUCCEEDED", 7, 8, token));
    start();
  }

  void replyResource(const std::string& path, const std::string& json) {
    LocalReply reply;
    reply.json = json;
    host_->replyLocal(path, reply);
  }

  static std::string session(const std::string& state, std::uint64_t accountId,
                             std::uint64_t tivanId, const std::string& token) {
    return R"({"state":")" + state + R"(","accountId":)" + std::to_string(accountId) +
           R"(,"tivanId":)" + std::to_string(tivanId) + R"(,"idToken":")" + token + "\"}";
  }

  int platform(const std::string& data, const std::string& type = "\"Update\"") {
    return host_->deliverResource(kPlatformEvent, kPlatformPath, type, data);
  }
  int sessionEvent(const std::string& data, const std::string& type = "\"Update\"") {
    return host_->deliverResource(kSessionEvent, kSessionPath, type, data);
  }
  int localeEvent(const std::string& data, const std::string& type = "\"Update\"") {
    return host_->deliverResource(kLocaleEvent, kLocalePath, type, data);
  }

  EndpointAnswer configuration() {
    return host_->call(kGet, kConfigurationPath, kConfigurationPath);
  }
  EndpointAnswer validate(const std::string& body = kOneItem) {
    return host_->call(kPost, kValidatePath, kValidatePath, body);
  }
  EndpointAnswer purchase(const std::string& body = R"({"items":[]})") {
    return host_->call(kPost, kPurchasePath, kPurchasePath, body);
  }

  void replyStore(const std::string& url, std::int32_t status, std::optional<std::string> body) {
    ExternalReply reply;
    reply.status = status;
    reply.body = std::move(body);
    host_->replyExternal(url, reply);
  }

  // The Authorization header of a validation sent now.
  std::string authorizationSent() {
    const std::size_t before = host_->externalCalls.size();
    static_cast<void>(validate());
    if (host_->externalCalls.size() != before + 1) return "<nothing sent>";
    return header(host_->externalCalls.back(), "Authorization");
  }
  std::string urlSent() {
    const std::size_t before = host_->externalCalls.size();
    static_cast<void>(validate());
    if (host_->externalCalls.size() != before + 1) return "<nothing sent>";
    return host_->externalCalls.back().url;
  }

  std::vector<std::string> firedNames() const {
    std::vector<std::string> names;
    for (const auto& event : host_->firedEvents) names.push_back(event.name);
    return names;
  }

  std::unique_ptr<TestHost> host_;
};

TEST_F(PurchaseWidgetHost, StartObservesTheThreeResourcesInOrder) {
  start();
  std::vector<std::string> subscriptions;
  std::vector<std::string> fetches;
  for (const std::string& call : host_->calls) {
    if (call.rfind("addEventHandler OnJsonApiEvent_", 0) == 0) subscriptions.push_back(call);
  }
  for (const auto& call : host_->localCalls)
    fetches.push_back(std::to_string(call.method) + " " + call.target);
  EXPECT_THAT(subscriptions, ElementsAre("addEventHandler " + std::string(kLocaleEvent) + " 0",
                                         "addEventHandler " + std::string(kSessionEvent) + " 0",
                                         "addEventHandler " + std::string(kPlatformEvent) + " 0"));
  EXPECT_THAT(fetches,
              ElementsAre("2 " + std::string(kLocalePath), "2 " + std::string(kSessionPath),
                          "2 " + std::string(kPlatformPath)));
  // Nothing could be fetched: no configuration was published.
  EXPECT_TRUE(host_->firedEvents.empty());
}

TEST_F(PurchaseWidgetHost, ConfigurationIsDisabledUntilThePlatformConfigurationArrives) {
  start();
  const EndpointAnswer answer = configuration();
  ASSERT_TRUE(answer.found);
  EXPECT_FALSE(answer.hasError);
  EXPECT_EQ(answer.status, 0);
  EXPECT_EQ(answer.result, R"({"enabled":false,"purchaseDisclaimerEnabled":false})");
}

TEST_F(PurchaseWidgetHost, ConfigurationFollowsThePlatformConfigurationsTruthValues) {
  start();
  ASSERT_EQ(platform(R"({"Enabled":"1","BaseUrl":5})"), 1);
  EXPECT_EQ(configuration().result, R"({"enabled":true,"purchaseDisclaimerEnabled":false})");
  replyStore("5v1/validate?language=", 200, "{}");
  EXPECT_EQ(urlSent(), "5v1/validate?language=");

  platform(R"({"Enabled":"yes","PurchaseDisclaimerEnabled":true})");
  EXPECT_EQ(configuration().result, R"({"enabled":false,"purchaseDisclaimerEnabled":true})");
  EXPECT_EQ(urlSent(), "<nothing sent>");
}

TEST_F(PurchaseWidgetHost, TheConfigurationFetchedAtStartIsPublished) {
  replyResource(kPlatformPath, R"({"Enabled":true,"PurchaseDisclaimerEnabled":1})");
  start();
  EXPECT_THAT(firedNames(), ElementsAre(kConfigurationEvent, "OnJsonApiEvent"));
  EXPECT_EQ(host_->firedEvents[0].payload, host_->firedEvents[1].payload);
  EXPECT_EQ(host_->firedEvents[0].word, 0u);
  EXPECT_EQ(configuration().result, R"({"enabled":true,"purchaseDisclaimerEnabled":true})");
}

TEST_F(PurchaseWidgetHost, EveryHandledConfigurationEventIsPublishedUnderBothNames) {
  start();
  platform(R"({"Enabled":true})");
  platform(R"({"Enabled":true})", "\"Create\"");
  EXPECT_THAT(firedNames(), ElementsAre(kConfigurationEvent, "OnJsonApiEvent", kConfigurationEvent,
                                        "OnJsonApiEvent"));
  const std::string& payload = host_->firedEvents[0].payload;
  EXPECT_NE(payload.find(R"("uri":"/tev-purchase-widget/v1/configuration")"), std::string::npos)
      << payload;
  EXPECT_NE(payload.find(R"("data":{"enabled":true,"purchaseDisclaimerEnabled":false})"),
            std::string::npos)
      << payload;
  EXPECT_NE(payload.find(R"("eventType":"Update")"), std::string::npos) << payload;
  EXPECT_EQ(host_->firedEvents[2].payload, payload) << "an Update also after a Create";
}

TEST_F(PurchaseWidgetHost, DeletingThePlatformConfigurationChangesNothing) {
  start();
  platform(R"({"Enabled":true,"BaseUrl":"https://a/"})");
  host_->firedEvents.clear();
  platform("null", "\"Delete\"");
  EXPECT_TRUE(host_->firedEvents.empty());
  EXPECT_EQ(configuration().result, R"({"enabled":true,"purchaseDisclaimerEnabled":false})");
  replyStore("https://a/v1/validate?language=", 200, "{}");
  EXPECT_EQ(urlSent(), "https://a/v1/validate?language=");
}

TEST_F(PurchaseWidgetHost, TheTokenIsTakenOverOnlyOnTheWayIn) {
  replyResource(kPlatformPath, R"({"Enabled":true,"BaseUrl":")" + std::string(kStore) + "\"}");
  replyResource(kLocalePath, R"({"locale":"en_US"})");
  start();
  replyStore(kValidateUrl, 200, "{}");
  EXPECT_EQ(authorizationSent(), "Bearer ") << "before any login";

  sessionEvent(session("SUCCEEDED", 7, 0, "zero-tivan"));
  EXPECT_EQ(authorizationSent(), "Bearer ") << "a zero id is not logged in";
  sessionEvent(session("SUCCEEDED", 0, 8, "zero-account"));
  EXPECT_EQ(authorizationSent(), "Bearer ");
  sessionEvent(session("IN_PROGRESS", 7, 8, "in-progress"));
  EXPECT_EQ(authorizationSent(), "Bearer ");

  sessionEvent(session("SUCCEEDED", 7, 8, "first"));
  EXPECT_EQ(authorizationSent(), "Bearer first");
  sessionEvent(session("SUCCEEDED", 7, 8, "second"));
  EXPECT_EQ(authorizationSent(), "Bearer first") << "the first token stays";

  sessionEvent(session("LOGGING_OUT", 7, 8, "leaving"));
  EXPECT_EQ(authorizationSent(), "Bearer first") << "logging out keeps the token";
  sessionEvent(session("SUCCEEDED", 7, 8, "third"));
  EXPECT_EQ(authorizationSent(), "Bearer third") << "a new login replaces it";

  sessionEvent("null", "\"Delete\"");
  EXPECT_EQ(authorizationSent(), "Bearer ") << "a deleted session empties it";
  sessionEvent(session("SUCCEEDED", 7, 8, "fourth"), "\"Create\"");
  EXPECT_EQ(authorizationSent(), "Bearer fourth");
}

TEST_F(PurchaseWidgetHost, ASessionWhoseStateIsNoEnumeratorIsDropped) {
  startReady("kept");
  replyStore(kValidateUrl, 200, "{}");
  EXPECT_EQ(sessionEvent(session("LOGGED_IN", 7, 8, "other")), 1);
  sessionEvent(R"({"state":7,"accountId":1,"tivanId":1,"idToken":"numeric"})");
  EXPECT_EQ(authorizationSent(), "Bearer kept");
  // Still logged in: a further logged-in update keeps the token as well.
  sessionEvent(session("SUCCEEDED", 7, 8, "later"));
  EXPECT_EQ(authorizationSent(), "Bearer kept");
}

TEST_F(PurchaseWidgetHost, TheSessionFetchedAtStartLogsIn) {
  startReady("from-start");
  replyStore(kValidateUrl, 200, "{}");
  EXPECT_EQ(authorizationSent(), "Bearer from-start");
}

TEST_F(PurchaseWidgetHost, ALongTokenIsSentWhole) {
  const std::string token(5000, 't');
  startReady(token);
  replyStore(kValidateUrl, 200, "{}");
  EXPECT_EQ(authorizationSent(), "Bearer " + token);
}

TEST_F(PurchaseWidgetHost, TheLocaleHandlerSetsTheLanguageQuery) {
  startReady();
  replyStore(kValidateUrl, 200, "{}");
  EXPECT_EQ(urlSent(), kValidateUrl);
  localeEvent(R"({"locale":"de_DE","region":"EUW"})");
  replyStore(std::string(kStore) + "v1/validate?language=de_DE", 200, "{}");
  EXPECT_EQ(urlSent(), std::string(kStore) + "v1/validate?language=de_DE");
  localeEvent(R"({"region":"EUW"})");
  EXPECT_EQ(urlSent(), std::string(kStore) + "v1/validate?language=");
  localeEvent(R"({"locale":"en_GB"})");
  localeEvent("null", "\"Delete\"");
  EXPECT_EQ(urlSent(), std::string(kStore) + "v1/validate?language=");
}

TEST_F(PurchaseWidgetHost, ALocaleCannotRewriteTheStoreQuery) {
  startReady();
  localeEvent(R"({"locale":"en US&admin=1#x"})");
  EXPECT_EQ(urlSent(), std::string(kStore) + "v1/validate?language=en%20US%26admin%3D1%23x");
}

TEST_F(PurchaseWidgetHost, TheBaseUrlIsUsedAsItStands) {
  startReady();
  platform(R"({"Enabled":true,"BaseUrl":"https://store.test/api"})");
  EXPECT_EQ(urlSent(), "https://store.test/apiv1/validate?language=en_US");
  static_cast<void>(purchase());
  EXPECT_EQ(host_->externalCalls.back().url, "https://store.test/apiv1/purchase");
}

TEST_F(PurchaseWidgetHost, BothEndpointsRefuseWhileDisabledAndSendNothing) {
  start();
  for (const std::string& body : {std::string("{}"), std::string(kOneItem)}) {
    for (const EndpointAnswer& answer : {validate(body), purchase(body)}) {
      ASSERT_TRUE(answer.found);
      EXPECT_TRUE(answer.hasError);
      EXPECT_EQ(answer.error, "purchase widget not enabled");
      EXPECT_EQ(answer.status, 404);
    }
  }
  EXPECT_TRUE(host_->externalCalls.empty());
}

TEST_F(PurchaseWidgetHost, ValidationPostsTheBasketAsCompactJson) {
  startReady("tok");
  replyStore(kValidateUrl, 200, R"({"items":[],"valid":true})");
  const EndpointAnswer answer = validate(
      R"({ "items" : [ { "quantity" : 2, "itemKey" : { "itemId" : 5, "inventoryType" : "CHAMPION" } } ] })");
  ASSERT_EQ(host_->externalCalls.size(), 1u);
  const ExternalCall& call = host_->externalCalls[0];
  EXPECT_EQ(call.method, kPost);
  EXPECT_EQ(call.url, kValidateUrl);
  EXPECT_EQ(call.body, kOneItem);
  EXPECT_EQ(call.parameter, 20u);
  EXPECT_EQ(call.flag, 1u);
  ASSERT_EQ(call.headers.size(), 3u);
  EXPECT_EQ(call.headers[0].first, "user-agent");
  EXPECT_EQ(call.headers[0].second, "OrvikClient/18.0.0 (tev-purchase-widget)");
  EXPECT_EQ(header(call, "Content-type"), "application/json");
  EXPECT_EQ(header(call, "Authorization"), "Bearer tok");
  EXPECT_FALSE(answer.hasError);
  EXPECT_EQ(answer.status, 0);
  EXPECT_EQ(answer.result, R"({"items":[],"valid":true})");
}

TEST_F(PurchaseWidgetHost, PurchasePostsToThePurchasePath) {
  startReady("tok");
  replyStore(kPurchaseUrl, 200, R"({"transactions":[{"transactionId":"t1"}]})");
  const EndpointAnswer answer =
      purchase(R"({"items":[{"itemKey":{"inventoryType":"SKIN","itemId":3},"quantity":1,)"
               R"("source":"cart","purchaseCurrencyInfo":{"currencyType":"RP","price":520}}]})");
  ASSERT_EQ(host_->externalCalls.size(), 1u);
  EXPECT_EQ(host_->externalCalls[0].url, kPurchaseUrl);
  EXPECT_EQ(host_->externalCalls[0].body,
            R"({"items":[{"itemKey":{"inventoryType":"SKIN","itemId":3},)"
            R"("purchaseCurrencyInfo":{"currencyType":"RP","price":520,"purchasable":false},)"
            R"("quantity":1,"source":"cart"}]})");
  EXPECT_EQ(header(host_->externalCalls[0], "Authorization"), "Bearer tok");
  EXPECT_FALSE(answer.hasError);
  EXPECT_EQ(answer.result, R"({"transactions":[{"transactionId":"t1"}]})");
}

TEST_F(PurchaseWidgetHost, EmptyBodiesAndNullItemsReachTheStoreAsDefaults) {
  startReady();
  replyStore(kValidateUrl, 200, "{}");
  static_cast<void>(validate("{}"));
  static_cast<void>(validate(R"({"items":[null]})"));
  ASSERT_EQ(host_->externalCalls.size(), 2u);
  EXPECT_EQ(host_->externalCalls[0].body, R"({"items":[]})");
  EXPECT_EQ(host_->externalCalls[1].body,
            R"({"items":[{"itemKey":{"inventoryType":"","itemId":0},"quantity":0}]})");
}

TEST_F(PurchaseWidgetHost, YamlAndMessagePackBodiesAreSentAsJson) {
  startReady();
  replyStore(kValidateUrl, 200, "{}");
  static_cast<void>(host_->call(kPost, kValidatePath, kValidatePath,
                                "items:\n  - itemKey: {inventoryType: CHAMPION, itemId: 5}\n"
                                "    quantity: 2\n",
                                "application/x-yaml"));
  // {"items":[{"quantity":2,"itemKey":{"itemId":5,"inventoryType":"CHAMPION"}}]}
  const std::string msgpack =
      "\x81\xa5items\x91\x82\xa8quantity\x02\xa7itemKey\x82\xa6itemId"
      "\x05\xadinventoryType\xa8"
      "CHAMPION";
  static_cast<void>(
      host_->call(kPost, kValidatePath, kValidatePath, msgpack, "application/x-msgpack"));
  ASSERT_EQ(host_->externalCalls.size(), 2u);
  EXPECT_EQ(host_->externalCalls[0].body, kOneItem);
  EXPECT_EQ(host_->externalCalls[1].body, kOneItem);
}

TEST_F(PurchaseWidgetHost, AnEndpointAnswersOnlyItsOwnMethod) {
  startReady();
  const PluginApiTable& table = *host_->descriptor().apiTable;
  int checked = 0;
  for (std::uint32_t i = 0; i < table.endpointCount; ++i) {
    const ApiEndpointEntry& entry = table.endpoints[i];
    const std::string path = entry.pathTemplate;
    if (path != kConfigurationPath && path != kValidatePath) continue;
    // POST on the configuration, GET on validateItems.
    HostEndpointRequest request{};
    request.method = path == kConfigurationPath ? kPost : kGet;
    request.target = entry.pathTemplate;
    request.context = entry.function.context;
    request.contentType = "application/json";
    request.body = "{}";
    request.bodyLength = 2;
    HostEndpointResponse response{};
    entry.callback(&response, &request);
    const std::int32_t status = response.status;
    EXPECT_EQ(status, 404) << path;
    EXPECT_STREQ(response.error, "Invalid function") << path;
    if (response.cleanup != nullptr) response.cleanup(&response);
    ++checked;
  }
  EXPECT_EQ(checked, 2);
  EXPECT_TRUE(host_->externalCalls.empty());
}

TEST_F(PurchaseWidgetHost, BodiesThatDoNotConvertAreRefusedBeforeTheStoreCall) {
  startReady();
  const EndpointAnswer numberItems = validate(R"({"items":5})");
  EXPECT_TRUE(numberItems.hasError);
  EXPECT_EQ(numberItems.error,
            "Couldn't assign value to 'items' of type vector because the input not a collection.");
  const EndpointAnswer badQuantity = purchase(R"({"items":[{"quantity":"many"}]})");
  EXPECT_TRUE(badQuantity.hasError);
  EXPECT_FALSE(badQuantity.error.empty());
  const EndpointAnswer notJson = validate("{items:");
  EXPECT_TRUE(notJson.hasError);
  EXPECT_TRUE(host_->externalCalls.empty());
}

TEST_F(PurchaseWidgetHost, StoreAnswersAreMappedToTheEndpointsAnswer) {
  startReady();
  struct Row {
    std::int32_t status;
    std::optional<std::string> body;
    bool hasError;
    std::int32_t answerStatus;
    std::string resultOrError;
  };
  const std::string label = std::string("POST ") + kValidateUrl;
  const Row rows[] = {
      {200, R"({"valid":true})", false, 0, R"({"valid":true})"},
      {200, std::nullopt, true, 500,
       "Could not decode body returned from the server: 200 - Error converting response for " +
           label + ": body was empty"},
      {302, R"({"moved":true})", true, 500, "Received an error status from the server: 302 - "},
      {404, R"({"errorCode":"UNKNOWN_ITEM"})", false, 404, R"({"errorCode":"UNKNOWN_ITEM"})"},
      {503, "<html>down</html>", false, 503, R"("<html>down</html>")"},
  };
  for (const Row& row : rows) {
    replyStore(kValidateUrl, row.status, row.body);
    const EndpointAnswer answer = validate();
    SCOPED_TRACE(row.status);
    EXPECT_EQ(answer.hasError, row.hasError) << answer.error;
    EXPECT_EQ(answer.status, row.answerStatus);
    EXPECT_EQ(row.hasError ? answer.error : answer.result, row.resultOrError);
    EXPECT_TRUE(answer.headers.empty());
  }
}

TEST_F(PurchaseWidgetHost, AnUnreachableStoreIsAServerError) {
  startReady();
  // The test host answers an unscripted URL with host error 7 "no route to host".
  const EndpointAnswer answer = purchase();
  EXPECT_TRUE(answer.hasError);
  EXPECT_EQ(answer.status, 500);
  EXPECT_EQ(answer.error, "Could not connect to the server: no route to host");
}

TEST_F(PurchaseWidgetHost, TheApiTableListsTheThreeFunctionsWithTheirTags) {
  EXPECT_THAT(
      host_->endpoints(),
      ::testing::IsSupersetOf(
          {"2 /tev-purchase-widget/v1/configuration GetTevPurchaseWidgetV1Configuration",
           "6 /tev-purchase-widget/v1/purchaseItems PostTevPurchaseWidgetV1PurchaseItems",
           "6 /tev-purchase-widget/v1/validateItems PostTevPurchaseWidgetV1ValidateItems"}));
  const PluginApiTable& table = *host_->descriptor().apiTable;
  int found = 0;
  for (std::uint32_t i = 0; i < table.endpointCount; ++i) {
    const ApiEndpointEntry& entry = table.endpoints[i];
    const std::string path = entry.pathTemplate;
    if (path.rfind("/tev-purchase-widget/", 0) != 0) continue;
    ++found;
    const ApiFunctionRecord& function = entry.function;
    // The records are packed: read their numbers into aligned copies first.
    const std::uint32_t argumentCount = function.argumentCount;
    const std::uint32_t returnType = function.returnType;
    std::vector<std::string> tags(function.tags, function.tags + function.tagCount);
    EXPECT_THAT(tags, ElementsAre("Plugins", "Plugin tev-purchase-widget")) << path;
    EXPECT_STREQ(function.description, "") << path;
    if (path == kConfigurationPath) {
      EXPECT_EQ(argumentCount, 0u);
      EXPECT_EQ(returnType, 17u);
      EXPECT_STREQ(function.returnTypeName, "TevPurchaseWidgetPurchaseWidgetConfig");
      continue;
    }
    ASSERT_EQ(argumentCount, 1u) << path;
    EXPECT_EQ(returnType, 13u) << path;
    const ApiArgumentRecord& argument = function.arguments[0];
    EXPECT_STREQ(argument.name, path == kValidatePath ? "validationRequest" : "purchaseRequest");
    EXPECT_STREQ(argument.typeName, path == kValidatePath ? "TevPurchaseWidgetValidationRequest"
                                                          : "TevPurchaseWidgetPurchaseRequest");
    const std::uint32_t argumentType = argument.type;
    EXPECT_EQ(argumentType, 17u);
    EXPECT_STREQ(argument.description, "");
    const ApiLocationRecord* locations = entry.locations;
    ASSERT_NE(locations, nullptr);
    const std::uint32_t location = locations[0].location;
    EXPECT_EQ(location, 5u) << path;
  }
  EXPECT_EQ(found, 3);
}

TEST_F(PurchaseWidgetHost, TheApiTableListsTheTypesWithEnumeratorsInNameOrder) {
  const PluginApiTable& table = *host_->descriptor().apiTable;
  std::vector<std::string> widgetTypes;
  std::vector<std::string> enumerators;
  for (std::uint32_t i = 0; i < table.typeCount; ++i) {
    const ApiTypeRecord& type = table.types[i];
    const std::string name = type.name;
    if (name.rfind("TevPurchaseWidget", 0) != 0) continue;
    widgetTypes.push_back(name);
    std::vector<std::string> tags(type.tags, type.tags + type.tagCount);
    EXPECT_THAT(tags, ElementsAre("Plugins", "Plugin tev-purchase-widget")) << name;
    if (name == "TevPurchaseWidgetLoginSessionStates") {
      for (const ApiEnumeratorRecord* e = type.enumerators; e != nullptr; e = e->next) {
        enumerators.push_back(std::string(e->name) + "=" + std::to_string(e->value));
      }
    }
  }
  EXPECT_EQ(widgetTypes.size(), 16u);
  EXPECT_THAT(widgetTypes, ::testing::Contains("TevPurchaseWidgetLoginSession"));
  EXPECT_THAT(widgetTypes, ::testing::Contains("TevPurchaseWidgetPurchaseResponse"));
  EXPECT_THAT(enumerators, ElementsAre("ERROR=3", "IN_PROGRESS=0", "LOGGING_OUT=2", "SUCCEEDED=1"));
}

}  // namespace
