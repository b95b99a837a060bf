// The purchase widget run for real: the host as a process, the widget library loaded into it,
// the embedded store behind it, and every exchange over HTTP.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/host/host_process.h"

namespace devhosttest {
namespace {

constexpr char kConfiguration[] = "/tev-purchase-widget/v1/configuration";
constexpr char kValidate[] = "/tev-purchase-widget/v1/validateItems";
constexpr char kPurchase[] = "/tev-purchase-widget/v1/purchaseItems";
constexpr char kPlatformConfig[] =
    "/devhost/v1/resources/tev-platform-config/v1/namespaces/HuxPurchaseWidget";
constexpr char kSession[] = "/devhost/v1/resources/tev-login/v1/session";
constexpr char kLocale[] = "/devhost/v1/resources/orvikclient/region-locale";
constexpr char kFault[] = "/devhost/v1/store/fault";

const std::string kCompanion =
    R"({"items":[{"itemKey":{"inventoryType":"COMPANION","itemId":101},"quantity":1}]})";

std::string purchaseBody(const std::string& type, int id, int quantity, int price) {
  return json{{"items",
               {{{"itemKey", {{"inventoryType", type}, {"itemId", id}}},
                 {"quantity", quantity},
                 {"source", "test"},
                 {"purchaseCurrencyInfo",
                  {{"currencyType", "GEM"}, {"price", price}, {"purchasable", true}}}}}}}
      .dump();
}

std::int64_t gems(const json& purchase) {
  for (const json& balance : purchase["wallet"]["balances"]) {
    if (balance["currencyType"] == "GEM") return balance["amount"].get<std::int64_t>();
  }
  return -1;
}

class WidgetOverHttp : public ::testing::Test {
 protected:
  void startHost(std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {"--plugin", widgetLibrary(), "--catalogue",
                                          catalogueFile()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    ASSERT_TRUE(host_.start(arguments)) << host_.output();
    const Answer api = host_.get("/devhost/v1/api");
    bool hasValidate = false;
    for (const json& endpoint : api.value["endpoints"]) {
      hasValidate = hasValidate || endpoint["path"] == kValidate;
    }
    if (!hasValidate) GTEST_SKIP() << "the plugin library has no purchase widget endpoints yet";
  }

  // The host and the plugin still answer, and a validation goes through once the store is well.
  void expectStillServing() {
    const Answer configuration = host_.get(kConfiguration);
    EXPECT_EQ(configuration.status, 200) << configuration.body;
    EXPECT_EQ(host_.get("/devhost/v1/status").status, 200);
  }

  void TearDown() override {
    if (HasFatalFailure() || IsSkipped()) return;
    EXPECT_EQ(host_.stop(), 0) << host_.output();
  }

  HostProcess host_;
};

TEST_F(WidgetOverHttp, ConfigurationValidateAndPurchaseAgainstTheEmbeddedStore) {
  startHost();
  if (IsSkipped()) return;
  const Answer configuration = host_.get(kConfiguration);
  EXPECT_EQ(configuration.status, 200);
  EXPECT_EQ(configuration.value,
            json::parse(R"({"enabled":true,"purchaseDisclaimerEnabled":true})"));
  EXPECT_EQ(configuration.header("Content-Type"), "application/json; charset=utf-8");

  const Answer valid = host_.post(
      kValidate, R"({"items":[{"itemKey":{"inventoryType":"COMPANION","itemId":101},"quantity":1},
                              {"itemKey":{"inventoryType":"BANNER","itemId":202},"quantity":1}]})");
  ASSERT_EQ(valid.status, 200) << valid.body;
  EXPECT_EQ(valid.value["valid"], true);
  ASSERT_EQ(valid.value["items"].size(), 2u);
  EXPECT_EQ(valid.value["items"][0]["name"], "Lantern Familiar");
  EXPECT_EQ(valid.value["items"][0]["sale"], nullptr);
  EXPECT_EQ(valid.value["items"][1]["sale"]["prices"][0]["price"], 260);

  // The locale reaches the store as the language of the validation.
  EXPECT_EQ(host_.put(kLocale, R"({"locale":"de_DE"})").status, 200);
  EXPECT_EQ(host_.post(kValidate, kCompanion).value["items"][0]["name"], "Laternengefährte");

  // The wallet goes down with each purchase, at the sale price where a sale runs.
  const Answer first = host_.post(kPurchase, purchaseBody("BANNER", 202, 1, 260));
  ASSERT_EQ(first.status, 200) << first.body;
  EXPECT_EQ(gems(first.value), 5000 - 260);
  EXPECT_EQ(first.value["transactions"][0]["itemName"], "Copper Banner");
  const Answer second = host_.post(kPurchase, purchaseBody("BOOST", 303, 2, 150));
  ASSERT_EQ(second.status, 200) << second.body;
  EXPECT_EQ(gems(second.value), 5000 - 260 - 300);
  EXPECT_GT(second.value["wallet"]["version"], first.value["wallet"]["version"]);

  // The store's refusals reach the client with the store's status and body.
  const Answer unknown = host_.post(
      kValidate,
      R"({"items":[{"itemKey":{"inventoryType":"COMPANION","itemId":999},"quantity":1}]})");
  EXPECT_EQ(unknown.status, 400);
  EXPECT_EQ(unknown.value["error"], "unknown item COMPANION:999");
  const Answer stale = host_.post(kPurchase, purchaseBody("COMPANION", 101, 1, 700));
  EXPECT_EQ(stale.status, 409);
  EXPECT_EQ(stale.value["price"], 790);
  const Answer tooDear = host_.post(kPurchase, purchaseBody("BUNDLE", 505, 1, 9999));
  EXPECT_EQ(tooDear.status, 402);
  EXPECT_EQ(tooDear.value["error"], "insufficient funds");
}

TEST_F(WidgetOverHttp, LogoutMakesTheStoreAnswer401UntilTheNextLogin) {
  startHost();
  if (IsSkipped()) return;
  const Answer session = host_.get(kSession);
  ASSERT_EQ(session.status, 200);

  const Answer logout = host_.del(kSession);
  EXPECT_EQ(logout.status, 200);
  EXPECT_EQ(logout.value["eventType"], "Delete");
  EXPECT_EQ(logout.value["handlers"], 1);
  const Answer refused = host_.post(kValidate, kCompanion);
  EXPECT_EQ(refused.status, 401);
  EXPECT_EQ(refused.value["error"], "missing or unknown bearer token");
  EXPECT_EQ(host_.post(kPurchase, purchaseBody("COMPANION", 101, 1, 790)).status, 401);

  EXPECT_EQ(host_.put(kSession, session.body).status, 201);
  EXPECT_EQ(host_.post(kValidate, kCompanion).status, 200);
}

TEST_F(WidgetOverHttp, DisabledByAResourceChangeAnswers404UntilEnabledAgain) {
  startHost();
  if (IsSkipped()) return;
  const Answer config = host_.get(kPlatformConfig);
  json disabled = config.value;
  disabled["Enabled"] = false;
  EXPECT_EQ(host_.put(kPlatformConfig, disabled.dump()).status, 200);

  EXPECT_EQ(host_.get(kConfiguration).value["enabled"], false);
  for (const char* path : {kValidate, kPurchase}) {
    const Answer refused = host_.post(path, kCompanion);
    EXPECT_EQ(refused.status, 404) << path;
    EXPECT_EQ(refused.value, json::parse(R"({"error":"purchase widget not enabled"})")) << path;
  }
  // The plugin publishes its configuration whenever the platform configuration arrives.
  bool published = false;
  const json journal = host_.get("/devhost/v1/events").value;
  for (const json& event : journal["events"]) {
    published =
        published || (event["source"] == "plugin" &&
                      event["name"] == "OnJsonApiEvent_tev-purchase-widget_v1_configuration" &&
                      event["payload"]["data"]["enabled"] == false);
  }
  EXPECT_TRUE(published);

  EXPECT_EQ(host_.put(kPlatformConfig, config.body).status, 200);
  EXPECT_EQ(host_.post(kValidate, kCompanion).status, 200);
}

TEST_F(WidgetOverHttp, StoreAnswersThatAreNotSuccessAreMappedAndTheHostKeepsServing) {
  startHost();
  if (IsSkipped()) return;
  const std::string page = "<html><body>maintenance</body></html>";
  ASSERT_EQ(
      host_.put(kFault, json{{"status", 503}, {"contentType", "text/html"}, {"body", page}}.dump())
          .status,
      200);
  const Answer unavailable = host_.post(kValidate, kCompanion);
  EXPECT_EQ(unavailable.status, 503);
  EXPECT_EQ(unavailable.value, page);  // the page, as a text value
  expectStillServing();

  ASSERT_EQ(
      host_.put(kFault, R"({"status":302,"headers":{"Location":"http://127.0.0.1:9/"}})").status,
      200);
  const Answer redirected = host_.post(kValidate, kCompanion);
  EXPECT_EQ(redirected.status, 500);
  const std::string redirectError = redirected.value["error"];
  EXPECT_EQ(redirectError.rfind("Received an error status from the server: 302 - ", 0), 0u)
      << redirectError;
  expectStillServing();

  ASSERT_EQ(host_.put(kFault, R"({"status":200,"body":""})").status, 200);
  const Answer empty = host_.post(kValidate, kCompanion);
  EXPECT_EQ(empty.status, 500);
  const std::string emptyError = empty.value["error"];
  EXPECT_EQ(emptyError.rfind("Could not decode body returned from the server: 200 - Error "
                             "converting response for POST http://127.0.0.1:",
                             0),
            0u)
      << emptyError;
  EXPECT_NE(emptyError.find("/v1/validate?language=en_US: body was empty"), std::string::npos)
      << emptyError;
  expectStillServing();

  EXPECT_EQ(host_.del(kFault).status, 200);
  EXPECT_EQ(host_.post(kValidate, kCompanion).status, 200);
}

TEST_F(WidgetOverHttp, UnreachableAndSlowStoresFailWith500AndTheHostKeepsServing) {
  startHost({"--timeout-ms", "300"});
  if (IsSkipped()) return;
  const Answer config = host_.get(kPlatformConfig);

  json unreachable = config.value;
  unreachable["BaseUrl"] = "http://127.0.0.1:" + std::to_string(unusedPort()) + "/";
  ASSERT_EQ(host_.put(kPlatformConfig, unreachable.dump()).status, 200);
  const Answer refused = host_.post(kValidate, kCompanion);
  EXPECT_EQ(refused.status, 500);
  const std::string refusedError = refused.value["error"];
  EXPECT_EQ(refusedError.rfind("Could not connect to the server: connection failed: POST ", 0), 0u)
      << refusedError;
  expectStillServing();
  ASSERT_EQ(host_.put(kPlatformConfig, config.body).status, 200);

  // Slower than the host's read timeout: the request fails, the next one succeeds.
  ASSERT_EQ(host_.put(kFault, R"({"delayMs":1500})").status, 200);
  const auto start = std::chrono::steady_clock::now();
  const Answer slow = host_.post(kValidate, kCompanion);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
  EXPECT_EQ(slow.status, 500);
  const std::string slowError = slow.value["error"];
  EXPECT_EQ(slowError.rfind("Could not connect to the server: no complete answer", 0), 0u)
      << slowError;
  expectStillServing();
  EXPECT_EQ(host_.del(kFault).status, 200);
  EXPECT_EQ(host_.post(kValidate, kCompanion).status, 200);
}

TEST_F(WidgetOverHttp, ResourceEventsAndConcurrentRequestsDoNotMeetInsideThePlugin) {
  startHost();
  if (IsSkipped()) return;
  // Requests on four connections while the locale changes: every request sees a whole state.
  std::atomic<int> failures{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&] {
      for (int i = 0; i < 40; ++i) {
        const Answer answer = host_.post(kValidate, kCompanion);
        if (answer.status != 200 || answer.value["valid"] != true) ++failures;
      }
    });
  }
  std::thread changer([&] {
    for (int i = 0; !done && i < 40; ++i) {
      if (host_.put(kLocale, i % 2 == 0 ? R"({"locale":"de_DE"})" : R"({"locale":"en_US"})")
              .status != 200) {
        ++failures;
      }
    }
  });
  for (std::thread& client : clients) client.join();
  done = true;
  changer.join();
  EXPECT_EQ(failures.load(), 0);
  expectStillServing();
}

TEST_F(WidgetOverHttp, PluginMemoryInUseReturnsToItsLevelAfterRequests) {
  startHost();
  if (IsSkipped()) return;
  // One round first, so that lazily built state exists before the measure.
  ASSERT_EQ(host_.post(kValidate, kCompanion).status, 200);
  ASSERT_EQ(host_.get(kConfiguration).status, 200);
  const json before = host_.get("/devhost/v1/memory").value;
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(host_.post(kValidate, kCompanion).status, 200);
    ASSERT_EQ(host_.get(kConfiguration).status, 200);
  }
  const json after = host_.get("/devhost/v1/memory").value;
  EXPECT_EQ(after["bytesInUse"], before["bytesInUse"]);
  EXPECT_GT(after["allocations"], before["allocations"]);
}

}  // namespace
}  // namespace devhosttest
