// Service-proxy messages through the host: waiting requests, the fulfilment order, async
// handlers, and the log line for an async message nobody handles.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/plugin/host_test_support.h"

namespace plugintest {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

std::string message(const std::string& uuid, const std::string& service, const std::string& method,
                    const std::string& payload) {
  return R"({"uuid":")" + uuid + R"(","serviceName":")" + service + R"(","methodName":")" + method +
         R"(","payload":")" + payload + R"(","status":"200","error":""})";
}

// What the waiting requests and async handlers received, as "source key payload".
std::vector<std::string> fulfilled(TestHost& host) {
  const rapidjson::Document list = parse(get(host, "received").result);
  std::vector<std::string> lines;
  for (const auto& entry : list.GetArray()) {
    if (member(entry, "source") == "settings") continue;
    lines.push_back(member(entry, "source") + " " + member(entry, "uri") + " " +
                    member(entry, "data"));
  }
  return lines;
}

TEST(ServiceProxy, AMessageBeforeItsRequestIsKeptUntilTheNextMessage) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  host->deliver("OnServiceProxyUuidEvent", message("u-1", "", "", "early"));
  host->deliver("OnServiceProxyUuidEvent", message("u-1", "", "", "later"));
  post(*host, "service-proxy/await", R"({"key":"u-1"})");
  EXPECT_THAT(fulfilled(*host), IsEmpty());
  // Async messages do not fulfil anything; any uuid or method message runs the pass.
  host->deliver("OnServiceProxyAsyncEvent", message("", "svc", "tick", "x"));
  EXPECT_THAT(fulfilled(*host), IsEmpty());
  host->deliver("OnServiceProxyMethodEvent", message("", "svc", "get", "unrelated"));
  EXPECT_THAT(fulfilled(*host), ElementsAre("serviceProxy u-1 later"));
  EXPECT_THAT(
      host->logLines,
      Contains(Field(&LogLine::message, "tev-test-plugin: Fulfilled service proxy request: u-1")));
}

TEST(ServiceProxy, MethodMessagesAreKeyedByServiceAndMethod) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  post(*host, "service-proxy/await", R"({"key":"store.purchase"})");
  host->deliver("OnServiceProxyMethodEvent", message("ignored", "store", "purchase", "done"));
  EXPECT_THAT(fulfilled(*host), ElementsAre("serviceProxy store.purchase done"));
  for (const LogLine& line : host->logLines) {
    if (line.message.find("Fulfilled") != std::string::npos) {
      EXPECT_EQ(line.level, 3);
    }
  }
}

TEST(ServiceProxy, AsyncMessagesReachTheirHandlerOrAreLoggedAndDropped) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  post(*host, "service-proxy/async", R"({"service":"chat","method":"notify"})");
  host->deliver("OnServiceProxyAsyncEvent", message("", "chat", "notify", "hi"));
  host->deliver("OnServiceProxyAsyncEvent", message("", "chat", "typing", "..."));
  EXPECT_THAT(fulfilled(*host), ElementsAre("async chat.notify hi"));
  const std::string expected =
      "tev-test-plugin: Could not find registered handler for async service proxy event "
      "chat.typing";
  EXPECT_THAT(host->logLines, Contains(::testing::AllOf(Field(&LogLine::level, 2),
                                                        Field(&LogLine::message, expected))));
}

TEST(ServiceProxy, MessagesThatAreNoServiceProxyRecordAreDropped) {
  auto host = loadTestPlugin();
  ASSERT_TRUE(host->initialize());
  post(*host, "service-proxy/await", R"({"key":"u-2"})");
  EXPECT_EQ(host->deliver("OnServiceProxyUuidEvent", R"({"uuid":["u-2"]})"), 1);
  EXPECT_EQ(host->deliver("OnServiceProxyUuidEvent", "17"), 1);
  EXPECT_THAT(fulfilled(*host), IsEmpty());
}

}  // namespace
}  // namespace plugintest
