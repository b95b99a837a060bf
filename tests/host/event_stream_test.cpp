// The event stream in-process: the bus's observers, the server-sent message format, and the
// stream's bounds on clients, queued bytes and event size, and its closing.
#include "host/http/event_stream.h"

#include <gtest/gtest.h>

#include <thread>

namespace tev::devhost {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class EventStreamTest : public ::testing::Test {
 protected:
  std::string drain(EventStream::Client& client) {
    std::string text;
    EXPECT_EQ(client.next(text, 0ms), EventStream::Next::kData);
    return text;
  }

  HostLog log_{0};
  PluginGate gate_;
  EventBus bus_{gate_, log_};
};

TEST(ServerSentEvent, FieldsAreLinesAndNamesCannotBreakOutOfTheirLine) {
  EXPECT_EQ(formatServerSentEvent("OnJsonApiEvent", 7, R"({"a":1})"),
            "id: 7\nevent: OnJsonApiEvent\ndata: {\"a\":1}\n\n");
  // An empty name leaves the type to the browser's default ("message").
  EXPECT_EQ(formatServerSentEvent("", 1, "null"), "id: 1\ndata: null\n\n");
  EXPECT_EQ(formatServerSentEvent("a\nretry: 1\r\ndata: x\x7f", 2, "{}"),
            "id: 2\nevent: a_retry: 1__data: x_\ndata: {}\n\n");
}

TEST(ServerSentEvent, MessageCarriesTheJournalEntryAndDropsPayloadsPastTheLimit) {
  const json entry = {{"id", 5u},       {"name", "OnJsonApiEvent"}, {"source", "plugin"},
                      {"word", 0},      {"handlers", nullptr},      {"payload", {{"uri", "/x"}}}};
  const std::string message = eventMessage(entry, 4096);
  const std::string prefix = "id: 5\nevent: OnJsonApiEvent\ndata: ";
  ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
  const json data = json::parse(message.substr(prefix.size()));
  EXPECT_EQ(data, json::parse(R"({"id":5,"name":"OnJsonApiEvent","source":"plugin","word":0,
                                  "payload":{"uri":"/x"}})"));

  json large = entry;
  large["payload"] = std::string(10000, 'x');
  const std::string cut = eventMessage(large, 4096);
  EXPECT_LT(cut.size(), 4096u);
  const json cutData = json::parse(cut.substr(prefix.size()));
  EXPECT_EQ(cutData["payload"], nullptr);
  EXPECT_EQ(cutData["truncated"], true);
  EXPECT_EQ(cutData["name"], "OnJsonApiEvent");

  // Whatever the bus holds, the data stays one line of JSON.
  const std::string odd = eventMessage(json{{"name", 3}, {"payload", "line\nbreak"}}, 4096);
  EXPECT_EQ(odd.find('\n'), odd.find("\ndata: "));
}

TEST_F(EventStreamTest, ClientsGetRetryFirstThenEveryPostedAndNotedEvent) {
  bus_.start();
  EventStream stream(bus_);
  auto client = stream.open();
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(drain(*client), "retry: 2000\n\n");

  std::ignore = bus_.post("OnJsonApiEvent", {{"uri", "/tev-login/v1/session"}}, 0, "host");
  bus_.note("telemetry", {{"x", 1}}, "plugin");
  const std::string text = drain(*client);
  EXPECT_NE(text.find("event: OnJsonApiEvent\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"uri\":\"/tev-login/v1/session\""), std::string::npos) << text;
  EXPECT_NE(text.find("event: telemetry\n"), std::string::npos) << text;
  EXPECT_LT(text.find("OnJsonApiEvent"), text.find("telemetry"));

  std::string none;
  EXPECT_EQ(client->next(none, 1ms), EventStream::Next::kIdle);
  bus_.stop();
}

TEST_F(EventStreamTest, NoMoreThanTheLimitOfClientsAndLeavingFreesTheirPlace) {
  EventStreamLimits limits;
  limits.maxClients = 2;
  EventStream stream(bus_, limits);
  auto first = stream.open();
  auto second = stream.open();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(stream.open(), nullptr);
  EXPECT_EQ(stream.clients(), 2u);
  first.reset();
  EXPECT_EQ(stream.clients(), 1u);
  EXPECT_NE(stream.open(), nullptr);
}

TEST_F(EventStreamTest, AClientThatFallsBehindIsEndedAndItsQueueFreed) {
  EventStreamLimits limits;
  limits.maxQueuedBytes = 4096;
  EventStream stream(bus_, limits);
  auto slow = stream.open();
  auto quick = stream.open();
  const std::string message = formatServerSentEvent("e", 1, std::string(1000, 'x'));
  std::string text;
  for (int i = 0; i < 10; ++i) {
    stream.publish(message);
    ASSERT_EQ(quick->next(text, 0ms), EventStream::Next::kData);
  }
  // The slow one never read: it ends, without the backlog; the other one goes on.
  EXPECT_EQ(slow->next(text, 0ms), EventStream::Next::kEnd);
  stream.publish(message);
  EXPECT_EQ(slow->next(text, 0ms), EventStream::Next::kEnd);
  EXPECT_EQ(quick->next(text, 0ms), EventStream::Next::kData);
  EXPECT_EQ(text, message);
}

TEST_F(EventStreamTest, CloseWakesAWaitingClientAndRefusesNewOnes) {
  EventStream stream(bus_);
  auto client = stream.open();
  std::string text;
  ASSERT_EQ(client->next(text, 0ms), EventStream::Next::kData);  // the retry line
  EventStream::Next next = EventStream::Next::kData;
  const auto begin = std::chrono::steady_clock::now();
  std::thread waiter([&] { next = client->next(text, 60s); });
  std::this_thread::sleep_for(20ms);
  stream.close();
  waiter.join();
  EXPECT_EQ(next, EventStream::Next::kEnd);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
  EXPECT_EQ(stream.open(), nullptr);
}

TEST_F(EventStreamTest, AStreamThatIsGoneEndsItsClientsAndNoLongerObservesTheBus) {
  std::shared_ptr<EventStream::Client> client;
  {
    EventStream stream(bus_);
    client = stream.open();
  }
  // A response being torn down may hold its client a little longer than the stream lives.
  std::string text;
  EXPECT_EQ(client->next(text, 0ms), EventStream::Next::kEnd);
  bus_.note("after", {}, "host");
  EXPECT_EQ(bus_.journal().back()["name"], "after");
}

TEST_F(EventStreamTest, ObserversSeeEveryJournalEntryUntilRemoved) {
  std::vector<std::string> seen;
  const std::uint64_t id =
      bus_.addObserver([&seen](const json& entry) { seen.push_back(entry["name"]); });
  std::ignore = bus_.post("first", nullptr, 0, "host");  // not started: journaled, not delivered
  bus_.note("second", nullptr, "plugin");
  bus_.removeObserver(id);
  bus_.note("third", nullptr, "plugin");
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(bus_.journal().size(), 3u);
}

}  // namespace
}  // namespace tev::devhost
