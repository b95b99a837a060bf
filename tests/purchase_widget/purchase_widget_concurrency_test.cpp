// The widget's state under the host's threads: one thread flips the platform configuration, the
// session and the locale through the plugin's event callbacks while others call the three
// endpoints through the API table. Every answer must come from one consistent state.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/host_boundary.h"
#include "plugin/plugin_entry.h"
#include "purchase_widget/purchase_widget_plugin.h"
#include "tests/plugin/host_values.h"

namespace {

constexpr std::uint32_t kGet = 2;
constexpr std::uint32_t kPost = 6;

// A host whose functions may be called from any thread: local requests fail (nothing is known
// at start), external requests echo the URL and the authorization back as the store's JSON body.
struct ConcurrentHost {
  // The table the plugin gets, with the way back to its host.
  struct Table {
    HostPluginApi api;
    ConcurrentHost* host;
  };
  Table table_{};
  HostPluginApi& api = table_.api;
  std::vector<std::pair<std::string, HostEventCallback>> handlers;  // filled during Initialize
  std::vector<void*> contexts;
  std::atomic<int> externalRequests{0};
  std::atomic<int> firedEvents{0};
  // Called with every event the plugin fires, on the firing thread; set before it may fire.
  std::function<void(const HostEvent&)> onFire;

  static ConcurrentHost& from(const HostPluginApi* table) {
    return *reinterpret_cast<const Table*>(table)->host;
  }

  ConcurrentHost() {
    table_.host = this;
    api.sendLocalRequest = [](const HostPluginApi*, HostLocalAnswer* answer,
                              const HostLocalRequest*) {
      answer->error = "Not found";
      answer->hasError = 1;
      answer->status = 404;
    };
    api.sendExternalRequest = [](const HostPluginApi* table, HostExternalAnswer* answer,
                                 const HostExternalRequest* request) {
      from(table).externalRequests.fetch_add(1);
      std::string authorization = "<none>";
      for (std::uint32_t i = 0; i < request->headerCount; ++i) {
        if (std::strcmp(request->headers[i].name, "Authorization") == 0) {
          authorization = request->headers[i].value;
        }
      }
      const std::string body =
          R"({"authorization":")" + authorization + R"(","url":")" + request->url + "\"}";
      char* copy = static_cast<char*>(std::malloc(body.size()));
      std::memcpy(copy, body.data(), body.size());
      answer->status = 200;
      answer->body = copy;
      answer->bodyLength = static_cast<std::uint32_t>(body.size());
      answer->release = [](HostExternalAnswer* done) { std::free(const_cast<char*>(done->body)); };
    };
    api.fireEvent = [](const HostPluginApi* table, const HostEvent* event) {
      from(table).firedEvents.fetch_add(1);
      if (from(table).onFire) from(table).onFire(*event);
    };
    api.addEventHandler = [](const HostPluginApi* table, const char* name, std::uint32_t,
                             HostEventCallback callback, void* context, std::uint32_t) {
      from(table).handlers.emplace_back(name, callback);
      from(table).contexts.push_back(context);
    };
    api.removeEventHandler = [](const HostPluginApi*, const char*, std::uint32_t) {};
    api.function5 = [](const HostPluginApi*, std::uint32_t, std::uint32_t, std::uint32_t, double,
                       std::uint32_t) {};
    api.yield = [](const HostPluginApi*) {};
    api.beginWait = [](const HostPluginApi*, const char*, std::uint32_t) {};
    api.endWait = [](const HostPluginApi*) {};
    api.log = [](const HostPluginApi*, std::int32_t, const char*) {};
  }

  // Delivers `payload` to the handler registered for `name`.
  void deliver(const std::string& name, const HostValue& payload) const {
    for (std::size_t i = 0; i < handlers.size(); ++i) {
      if (handlers[i].first != name) continue;
      HostEvent event{};
      event.name = handlers[i].first.c_str();
      event.payload = payload;
      event.context = contexts[i];
      handlers[i].second(&event);
    }
  }
};

struct Answer {
  bool hasError = false;
  std::string error;
  std::int32_t status = 0;
  std::string result;
};

Answer callEndpoint(const PluginApiTable& table, std::uint32_t method, const std::string& path,
                    const std::string& body) {
  Answer answer;
  for (std::uint32_t i = 0; i < table.endpointCount; ++i) {
    const ApiEndpointEntry& entry = table.endpoints[i];
    if (entry.method != method || path != entry.pathTemplate) continue;
    HostEndpointRequest request{};
    request.method = method;
    request.target = path.c_str();
    request.context = entry.function.context;
    request.contentType = "application/json";
    request.body = body.data();
    request.bodyLength = static_cast<std::uint32_t>(body.size());
    HostEndpointResponse response{};
    entry.callback(&response, &request);
    answer.hasError = response.hasError != 0;
    answer.error = response.error != nullptr ? response.error : "";
    answer.status = response.status;
    answer.result = plugintest::toJson(response.result);
    if (response.cleanup != nullptr) response.cleanup(&response);
    return answer;
  }
  answer.error = "no endpoint";
  answer.hasError = true;
  return answer;
}

TEST(PurchaseWidgetConcurrency, EveryRequestSeesOneConsistentState) {
  PluginDescriptor descriptor{};
  descriptor.major = 18;
  tev::loadPlugin<tev::PurchaseWidgetPlugin>(&descriptor, "tev-purchase-widget");
  ASSERT_NE(descriptor.entryTable, nullptr);
  ConcurrentHost host;
  const HostConnection connection{&host.api, 0x51};
  ASSERT_NE(descriptor.entryTable->initialize(descriptor.context, &connection), 0);
  const PluginApiTable& table = *descriptor.apiTable;

  // Two platform configurations whose flags and base URL must never mix, two long tokens, two
  // locales. The payloads are built before any thread starts.
  const std::string tokenA(3000, 'a');
  const std::string tokenB(5000, 'b');
  plugintest::HostValueStore values;
  auto resource = [&](const char* uri, const char* type, const std::string& data) {
    return values.fromJson(std::string(R"({"uri":")") + uri + R"(","eventType":")" + type +
                           R"(","data":)" + data + "}");
  };
  const char* platformPath = "/tev-platform-config/v1/namespaces/HuxPurchaseWidget";
  const HostValue enabled =
      resource(platformPath, "Update",
               R"({"Enabled":true,"PurchaseDisclaimerEnabled":true,"BaseUrl":"https://a/"})");
  const HostValue disabled =
      resource(platformPath, "Update",
               R"({"Enabled":false,"PurchaseDisclaimerEnabled":false,"BaseUrl":"https://b/"})");
  const char* sessionPath = "/tev-login/v1/session";
  const HostValue loginA =
      resource(sessionPath, "Update",
               R"({"state":"SUCCEEDED","accountId":1,"tivanId":2,"idToken":")" + tokenA + "\"}");
  const HostValue loginB =
      resource(sessionPath, "Update",
               R"({"state":"SUCCEEDED","accountId":1,"tivanId":2,"idToken":")" + tokenB + "\"}");
  const HostValue logout = resource(sessionPath, "Delete", "null");
  const char* localePath = "/orvikclient/region-locale";
  const HostValue english = resource(localePath, "Update", R"({"locale":"en_US"})");
  const HostValue german = resource(localePath, "Update", R"({"locale":"de_DE"})");
  const std::string platformEvent =
      "OnJsonApiEvent_tev-platform-config_v1_namespaces_HuxPurchaseWidget";
  const std::string sessionEvent = "OnJsonApiEvent_tev-login_v1_session";
  const std::string localeEvent = "OnJsonApiEvent_orvikclient_region-locale";
  host.deliver(platformEvent, enabled);
  host.deliver(localeEvent, english);

  std::set<std::string> validAnswers;
  for (const char* path :
       {"v1/validate?language=en_US", "v1/validate?language=de_DE", "v1/purchase"}) {
    for (const std::string& token : {std::string(), tokenA, tokenB}) {
      validAnswers.insert(R"({"authorization":"Bearer )" + token + R"(","url":"https://a/)" + path +
                          "\"}");
    }
  }
  const std::set<std::string> validConfigurations = {
      R"({"enabled":true,"purchaseDisclaimerEnabled":true})",
      R"({"enabled":false,"purchaseDisclaimerEnabled":false})"};

  std::atomic<bool> done{false};
  std::mutex failuresMutex;
  std::vector<std::string> failures;
  auto fail = [&](const std::string& what) {
    const std::lock_guard<std::mutex> lock(failuresMutex);
    if (failures.size() < 10) failures.push_back(what.substr(0, 200));
  };

  std::thread writer([&] {
    for (int i = 0; i < 400; ++i) {
      host.deliver(platformEvent, i % 2 == 0 ? disabled : enabled);
      host.deliver(sessionEvent, i % 4 == 0 ? loginA : i % 4 == 2 ? loginB : logout);
      host.deliver(localeEvent, i % 3 == 0 ? german : english);
    }
    done = true;
  });
  auto reader = [&](const char* path) {
    const std::string body = R"({"items":[{"itemKey":{"inventoryType":"X","itemId":1}}]})";
    int calls = 0;
    while (!done || calls < 50) {
      ++calls;
      const Answer store = callEndpoint(table, kPost, path, body);
      if (store.hasError) {
        if (store.status != 404 || store.error != "purchase widget not enabled") {
          fail("store call: " + std::to_string(store.status) + " " + store.error);
        }
      } else if (validAnswers.count(store.result) == 0) {
        fail("store call saw a mixed state: " + store.result);
      }
      const Answer configuration =
          callEndpoint(table, kGet, "/tev-purchase-widget/v1/configuration", "");
      if (configuration.hasError || validConfigurations.count(configuration.result) == 0) {
        fail("configuration: " + configuration.result + configuration.error);
      }
    }
  };
  std::thread validator(reader, "/tev-purchase-widget/v1/validateItems");
  std::thread purchaser(reader, "/tev-purchase-widget/v1/purchaseItems");
  writer.join();
  validator.join();
  purchaser.join();

  std::string report;
  for (const std::string& failure : failures) report += failure + "\n";
  EXPECT_TRUE(failures.empty()) << report;
  // Every handled configuration event was published under both names, none lost.
  EXPECT_EQ(host.firedEvents.load(), 2 * 401);
  descriptor.entryTable->shutdown(descriptor.context);
}

// The plugin loaded and initialised against a ConcurrentHost, with the platform configuration's
// two payloads and a record of the configurations published as "OnJsonApiEvent", in the order
// the host passed them on.
class PublishedConfiguration : public ::testing::Test {
 protected:
  void SetUp() override {
    descriptor_.major = 18;
    tev::loadPlugin<tev::PurchaseWidgetPlugin>(&descriptor_, "tev-purchase-widget");
    ASSERT_NE(descriptor_.entryTable, nullptr);
    ASSERT_NE(descriptor_.entryTable->initialize(descriptor_.context, &connection_), 0);
    initialized_ = true;
  }
  void TearDown() override {
    if (initialized_) descriptor_.entryTable->shutdown(descriptor_.context);
  }

  HostValue platform(bool enabled) {
    const std::string flag = enabled ? "true" : "false";
    return values_.fromJson(
        R"({"uri":"/tev-platform-config/v1/namespaces/HuxPurchaseWidget","eventType":"Update",)"
        R"("data":{"Enabled":)" +
        flag + R"(,"PurchaseDisclaimerEnabled":)" + flag + "}}");
  }
  void deliver(const HostValue& payload) {
    host_.deliver("OnJsonApiEvent_tev-platform-config_v1_namespaces_HuxPurchaseWidget", payload);
  }
  // The data of a published configuration as the configuration endpoint answers it.
  static std::string configurationOf(const std::string& published) {
    const std::string data = R"("data":)";
    const std::size_t start = published.find(data);
    const std::size_t end = published.find('}', start);
    if (start == std::string::npos || end == std::string::npos) return "<no data> " + published;
    return published.substr(start + data.size(), end + 1 - start - data.size());
  }
  std::string configurationInForce() {
    const Answer answer =
        callEndpoint(*descriptor_.apiTable, kGet, "/tev-purchase-widget/v1/configuration", "");
    return answer.hasError ? answer.error : answer.result;
  }

  PluginDescriptor descriptor_{};
  ConcurrentHost host_;
  const HostConnection connection_{&host_.api, 0x51};
  plugintest::HostValueStore values_;
  bool initialized_ = false;

  std::mutex publishedMutex_;
  std::vector<std::string> published_;
};

TEST_F(PublishedConfiguration, APublicationOvertakenByANewerOneIsFollowedByTheNewer) {
  const HostValue enabled = platform(true);
  const HostValue disabled = platform(false);
  // The host passes the first "enabled" publication on only once the "disabled" event has been
  // handled and published completely on another thread: the older state reaches it last.
  std::condition_variable changed;
  bool holding = false;
  bool newerDone = false;
  host_.onFire = [&](const HostEvent& event) {
    if (std::strcmp(event.name, "OnJsonApiEvent") != 0) return;
    const std::string json = plugintest::toJson(event.payload);
    std::unique_lock<std::mutex> lock(publishedMutex_);
    if (!holding && configurationOf(json).find("true") != std::string::npos) {
      holding = true;
      changed.notify_all();
      changed.wait_for(lock, std::chrono::seconds(20), [&] { return newerDone; });
    }
    published_.push_back(json);
  };

  std::thread older([&] { deliver(enabled); });
  {
    std::unique_lock<std::mutex> lock(publishedMutex_);
    EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return holding; }));
  }
  deliver(disabled);  // no lock of the plugin may be held by the thread the host holds up
  {
    const std::lock_guard<std::mutex> lock(publishedMutex_);
    newerDone = true;
    changed.notify_all();
  }
  older.join();

  const std::string inForce = configurationInForce();
  EXPECT_EQ(inForce, R"({"enabled":false,"purchaseDisclaimerEnabled":false})");
  ASSERT_GE(published_.size(), 2u) << "each handled event is published";
  EXPECT_EQ(configurationOf(published_.back()), inForce) << "the last one published";
}

TEST_F(PublishedConfiguration, TheLastPublishedIsInForceAfterConcurrentEvents) {
  const HostValue enabled = platform(true);
  const HostValue disabled = platform(false);
  std::atomic<int> fired{0};
  host_.onFire = [&](const HostEvent& event) {
    if (std::strcmp(event.name, "OnJsonApiEvent") != 0) return;
    const std::string json = plugintest::toJson(event.payload);
    // A host that takes a varying while to pass an event on lets publications overtake.
    if (fired.fetch_add(1) % 3 == 0) std::this_thread::yield();
    const std::lock_guard<std::mutex> lock(publishedMutex_);
    published_.push_back(json);
  };
  constexpr int kRounds = 150;
  for (int round = 0; round < 4; ++round) {
    std::thread first([&] {
      for (int i = 0; i < kRounds; ++i) deliver(i % 2 == 0 ? enabled : disabled);
    });
    std::thread second([&] {
      for (int i = 0; i < kRounds; ++i) deliver(i % 3 == 0 ? disabled : enabled);
    });
    first.join();
    second.join();
    const std::lock_guard<std::mutex> lock(publishedMutex_);
    ASSERT_GE(published_.size(), static_cast<std::size_t>(2 * kRounds * (round + 1)));
    EXPECT_EQ(configurationOf(published_.back()), configurationInForce()) << "round " << round;
  }
}

}  // namespace
