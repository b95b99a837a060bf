// Subscriptions, resource events and publication, through the test plugin loaded in a host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/plugin/host_test_support.h"

namespace plugintest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kSettingsEvent[] = "OnJsonApiEvent_tev-test_v1_settings";
constexpr char kItemsEvent[] = "OnJsonApiEvent_tev-test_v1_items";

int handlersNamed(const TestHost& host, const std::string& name) {
  return static_cast<int>(std::count_if(host.handlers.begin(), host.handlers.end(),
                                        [&](const auto& h) { return h.name == name; }));
}

// The events the test plugin's handlers received, as "source uri eventType data".
std::vector<std::string> received(TestHost& host) {
  const EndpointAnswer answer = get(host, "received");
  const rapidjson::Document list = parse(answer.result);
  std::vector<std::string> lines;
  for (const auto& entry : list.GetArray()) {
    lines.push_back(member(entry, "source") + " " + member(entry, "uri") + " " +
                    member(entry, "eventType") + " " + json(entry["data"]));
  }
  return lines;
}

std::string subscribe(TestHost& host, const std::string& path, const std::string& event) {
  return post(host, "subscribe", R"({"path":")" + path + R"(","event":")" + event + "\"}").result;
}

std::string unsubscribe(TestHost& host, const std::string& path, const std::string& event) {
  return post(host, "unsubscribe", R"({"path":")" + path + R"(","event":")" + event + "\"}").result;
}

TEST(ObserveResource, SubscribesAndDeliversTheCurrentValueAsCreate) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize(0x51));
  // The exact path is fetched once with a GET carrying the plugin handle; the pattern is not.
  ASSERT_EQ(host->localCalls.size(), 1u);
  EXPECT_EQ(host->localCalls[0].target, "/tev-test/v1/settings");
  EXPECT_EQ(host->localCalls[0].method, kGet);
  EXPECT_EQ(host->localCalls[0].pluginHandle, 0x51u);
  EXPECT_EQ(handlersNamed(*host, kSettingsEvent), 1);
  EXPECT_EQ(handlersNamed(*host, kItemsEvent), 1);
  for (const auto& handler : host->handlers) {
    if (handler.name == kSettingsEvent) {
      EXPECT_EQ(handler.flag, 0u);
    }
  }
  EXPECT_THAT(received(*host),
              ElementsAre(R"(settings /tev-test/v1/settings 0 {"level":3,"mode":"fast"})"));
  EXPECT_EQ(host->answerReleases, 1);
}

TEST(ObserveResource, AFailedFetchDeliversNothing) {
  auto host = loadTestPlugin();
  LocalReply failing;
  failing.error = "resource not ready";
  failing.status = 503;
  host->replyLocal("/tev-test/v1/settings", failing);
  ASSERT_TRUE(host->initialize());
  EXPECT_THAT(received(*host), IsEmpty());
  EXPECT_EQ(handlersNamed(*host, kSettingsEvent), 1) << "the subscription stays";
}

TEST(Subscriptions, AreCountedPerEventName) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  const std::string session = "OnJsonApiEvent_tev-login_v1_session";
  EXPECT_EQ(subscribe(*host, "/tev-login/v1/session", session), "1");
  EXPECT_EQ(subscribe(*host, "/tev-login/v1/session", session), "2");
  // A longer path shares the event name and so the count.
  EXPECT_EQ(subscribe(*host, "/tev-login/v1/session/extra", session), "3");
  EXPECT_EQ(handlersNamed(*host, session), 1);
  EXPECT_EQ(unsubscribe(*host, "/tev-login/v1/session", session), "2");
  EXPECT_EQ(unsubscribe(*host, "/tev-login/v1/session/extra", session), "1");
  EXPECT_EQ(handlersNamed(*host, session), 1) << "still one subscriber";
  EXPECT_EQ(unsubscribe(*host, "/tev-login/v1/session", session), "0");
  EXPECT_EQ(handlersNamed(*host, session), 0);
  EXPECT_THAT(host->removedHandlers, ElementsAre(session));
}

TEST(Subscriptions, AnUnsubscribeWithoutSubscribersDoesNotSwallowTheNextSubscribe) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  const std::string event = "OnJsonApiEvent_a_b";
  EXPECT_EQ(unsubscribe(*host, "/a/b", event), "0");
  EXPECT_EQ(subscribe(*host, "/a/b", event), "1");
  EXPECT_EQ(handlersNamed(*host, event), 1);
  EXPECT_THAT(host->removedHandlers, IsEmpty());
}

TEST(Subscriptions, PlatformConfigurationNamespacesGetTheirOwnEvent) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  const std::string event = "OnJsonApiEvent_tev-platform-config_v1_namespaces_HuxPurchaseWidget";
  EXPECT_EQ(subscribe(*host, "/tev-platform-config/v1/namespaces/HuxPurchaseWidget", event), "1");
  EXPECT_EQ(handlersNamed(*host, event), 1);
}

TEST(ResourceEvents, ReachTheHandlerOfTheirPath) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  // A uri without the leading "/" reaches the handler of the path with it.
  EXPECT_EQ(host->deliverResource(kSettingsEvent, "tev-test/v1/settings", "1",
                                  R"({"mode":"slow","level":1})"),
            1);
  // The event type may also come as its name.
  host->deliverResource(kSettingsEvent, "/tev-test/v1/settings", "\"Update\"", R"({"mode":"off"})");
  // A record that does not convert is dropped; a deletion arrives with default data.
  host->deliverResource(kSettingsEvent, "/tev-test/v1/settings", "1", R"({"level":"high"})");
  host->deliverResource(kSettingsEvent, "/tev-test/v1/settings", "2", R"({"level":"high"})");
  // 3 is no event type: the event is dropped before any handler.
  host->deliverResource(kSettingsEvent, "/tev-test/v1/settings", "3", R"({"mode":"x"})");
  // A payload that is no event record is dropped as well.
  host->deliver(kSettingsEvent, "[1,2]");
  EXPECT_THAT(received(*host),
              ElementsAre(R"(settings /tev-test/v1/settings 0 {"level":3,"mode":"fast"})",
                          R"(settings tev-test/v1/settings 1 {"level":1,"mode":"slow"})",
                          R"(settings /tev-test/v1/settings 1 {"level":0,"mode":"off"})",
                          R"(settings /tev-test/v1/settings 2 {"level":0,"mode":""})"));
}

TEST(ResourceEvents, PatternHandlersSeeOneSegmentForTheStar) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  for (const char* uri : {"/tev-test/v1/items/7", "/tev-test/v1/items/", "/tev-test/v1/items/7/x",
                          "/tev-test/v1/items", "tev-test/v1/items/8"}) {
    host->deliverResource(kItemsEvent, uri, "1", R"({"n":1})");
  }
  EXPECT_THAT(received(*host),
              ElementsAre(R"(settings /tev-test/v1/settings 0 {"level":3,"mode":"fast"})",
                          R"(items /tev-test/v1/items/7 1 {"n":1})",
                          R"(items tev-test/v1/items/8 1 {"n":1})"));
}

TEST(ResourceEvents, EventsWithoutAHandlerAreIgnored) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  const std::string event = "OnJsonApiEvent_a_b";
  subscribe(*host, "/a/b", event);
  // Subscribed, but no resource handler for the path: the dispatcher finds nothing.
  EXPECT_EQ(host->deliverResource(event, "/a/b", "1", "{}"), 1);
  unsubscribe(*host, "/a/b", event);
  EXPECT_EQ(host->deliverResource(event, "/a/b", "1", "{}"), 0);
  EXPECT_EQ(received(*host).size(), 1u);
}

TEST(FireResourceEvent, RootPathFiresOnceAndLongerPathsTwice) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  const EndpointAnswer root =
      post(*host, "publish", R"({"uri":"/","eventType":1,"data":{"a":1},"word":9})");
  EXPECT_EQ(root.result, R"({"error":"","ok":true})");
  ASSERT_EQ(host->firedEvents.size(), 1u);
  EXPECT_EQ(host->firedEvents[0].name, "OnJsonApiEvent");
  EXPECT_EQ(host->firedEvents[0].word, 9u);
  EXPECT_EQ(host->firedEvents[0].context, nullptr);

  host->firedEvents.clear();
  post(*host, "publish",
       R"({"uri":"/tev-test-plugin/v1/configuration","eventType":1,"data":{"enabled":true}})");
  ASSERT_EQ(host->firedEvents.size(), 2u);
  EXPECT_EQ(host->firedEvents[0].name, "OnJsonApiEvent_tev-test-plugin_v1_configuration");
  EXPECT_EQ(host->firedEvents[1].name, "OnJsonApiEvent");
  EXPECT_EQ(
      host->firedEvents[0].payload,
      R"({"data":{"enabled":true},"eventType":"Update","uri":"/tev-test-plugin/v1/configuration"})");
  EXPECT_EQ(host->firedEvents[1].payload, host->firedEvents[0].payload);
}

}  // namespace
}  // namespace plugintest
