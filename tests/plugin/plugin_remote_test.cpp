// Calls through the host: external requests, local fetches (values and streams), calls with
// parameters and telemetry, through the test plugin loaded in a host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/plugin/host_test_support.h"

namespace plugintest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr char kStore[] = "https://store.example/api/v1/validate";

std::unique_ptr<TestHost> initialised(std::uint32_t minor = 0, std::uint32_t patch = 0) {
  auto host = loadTestPlugin(minor, patch);
  EXPECT_TRUE(host->initialize());
  host->calls.clear();
  host->localCalls.clear();
  host->answerReleases = 0;
  return host;
}

rapidjson::Document sendExternal(TestHost& host, const std::string& request) {
  return parse(post(host, "external", request).result);
}

TEST(UserAgent, NamesTheHostVersionAndThePlugin) {
  auto host = initialised(2, 1);
  const rapidjson::Document state = parse(get(*host, "state").result);
  EXPECT_EQ(member(state, "userAgent"), "OrvikClient/18.2.1 (tev-test-plugin)");
  EXPECT_EQ(member(state, "namespaceName"), "TevTestPlugin");
  EXPECT_EQ(member(state, "fullName"), "kpm-be-tev-test-plugin");
  EXPECT_EQ(member(state, "shortName"), "tev-test-plugin");
}

TEST(ExternalRequest, PutsTheUserAgentFirstUnlessTheCallerHasOne) {
  auto host = initialised();
  ExternalReply ok;
  ok.body = "{}";
  host->replyExternal(kStore, ok);
  sendExternal(*host, std::string(R"({"url":")") + kStore +
                          R"(","headers":{"Content-type":"application/json",)"
                          R"("Authorization":"Bearer t"},"body":"{\"a\":1}","parameter":20,)"
                          R"("flag":1,"method":6})");
  ASSERT_EQ(host->externalCalls.size(), 1u);
  const ExternalCall& call = host->externalCalls[0];
  EXPECT_EQ(call.method, kPost);
  EXPECT_EQ(call.url, kStore);
  EXPECT_THAT(
      call.headers,
      ElementsAre(
          std::pair<std::string, std::string>{"user-agent", "OrvikClient/18.0.0 (tev-test-plugin)"},
          std::pair<std::string, std::string>{"Authorization", "Bearer t"},
          std::pair<std::string, std::string>{"Content-type", "application/json"}));
  EXPECT_EQ(call.body, R"({"a":1})");
  EXPECT_EQ(call.parameter, 20u);
  EXPECT_EQ(call.flag, 1u);
  EXPECT_EQ(host->answerReleases, 1);

  for (const char* name : {"User-Agent", "USER-AGENT", "user-agent"}) {
    host->externalCalls.clear();
    sendExternal(
        *host, std::string(R"({"url":")") + kStore + R"(","headers":{")" + name + R"(":"mine"}})");
    ASSERT_EQ(host->externalCalls.size(), 1u);
    EXPECT_THAT(host->externalCalls[0].headers,
                ElementsAre(std::pair<std::string, std::string>{name, "mine"}));
  }
}

TEST(ExternalRequest, PostToUrlSendsFlagOneAndTheParameter) {
  auto host = initialised();
  sendExternal(*host, std::string(R"({"post":true,"url":")") + kStore +
                          R"(","body":"[]","parameter":20,"flag":0,"method":2})");
  ASSERT_EQ(host->externalCalls.size(), 1u);
  EXPECT_EQ(host->externalCalls[0].method, kPost);
  EXPECT_EQ(host->externalCalls[0].flag, 1u);
  EXPECT_EQ(host->externalCalls[0].parameter, 20u);
}

TEST(ExternalAnswer, IsConvertedStatusByStatus) {
  auto host = initialised();
  const std::string request = std::string(R"({"url":")") + kStore + "\"}";

  ExternalReply empty;
  empty.status = 204;
  host->replyExternal(kStore, empty);
  rapidjson::Document answer = sendExternal(*host, request);
  EXPECT_EQ(member(answer, "error"), "0");
  EXPECT_EQ(member(answer, "status"), "204");
  EXPECT_EQ(member(answer, "decodeError"), "1");
  EXPECT_EQ(member(answer, "message"),
            std::string("Error converting response for POST ") + kStore + ": body was empty");

  ExternalReply html;
  html.status = 503;
  html.body = "oops";
  html.headers = {{"Content-Type", "text/html"}};
  host->replyExternal(kStore, html);
  answer = sendExternal(*host, request);
  EXPECT_EQ(member(answer, "status"), "503");
  EXPECT_EQ(member(answer, "decodeError"), "1");
  EXPECT_THAT(member(answer, "message"),
              StartsWith(std::string("Error deserializing json response for POST ") + kStore +
                         ": Error: "));
  EXPECT_EQ(member(answer, "body"), "oops");
  EXPECT_EQ(member(answer["headers"], "Content-Type"), "text/html");

  ExternalReply unreachable;
  unreachable.errorCode = 7;
  unreachable.body = "Could not resolve host";
  host->replyExternal(kStore, unreachable);
  answer = sendExternal(*host, request);
  EXPECT_EQ(member(answer, "error"), "1");
  EXPECT_EQ(member(answer, "status"), "0");
  EXPECT_EQ(member(answer, "message"), "Could not resolve host");

  ExternalReply json;
  json.body = R"({"valid":true})";
  host->replyExternal(kStore, json);
  answer = sendExternal(*host, request);
  EXPECT_EQ(member(answer, "decodeError"), "0");
  EXPECT_EQ(member(answer["body"], "valid"), "true");
  EXPECT_EQ(host->answerReleases, 4);
}

TEST(LocalFetch, HostErrorsCarryTheStatusAndTheFields) {
  auto host = initialised();
  LocalReply failing;
  failing.error = "no such resource";
  failing.status = 404;
  host->replyLocal("/tev-login/v1/session", failing);
  const rapidjson::Document outcome =
      parse(post(*host, "fetch", R"({"path":"/tev-login/v1/session"})").result);
  EXPECT_EQ(member(outcome, "failed"), "true");
  EXPECT_EQ(member(outcome, "errorCode"), "404");
  EXPECT_EQ(member(outcome, "message"),
            "Error response for GET /tev-login/v1/session: no such resource");
  EXPECT_EQ(member(outcome["fields"], "method"), "GET");
  EXPECT_EQ(member(outcome["fields"], "url"), "/tev-login/v1/session");
  EXPECT_EQ(member(outcome["fields"], "error"), "no such resource");
  EXPECT_EQ(member(outcome["fields"], "errorCode_int"), "404");
  EXPECT_EQ(host->answerReleases, 1);
}

TEST(LocalFetch, TypedFetchKeepsDefaultsForMissingMembersAndReportsBadOnes) {
  auto host = initialised();
  LocalReply partial;
  partial.json = R"({"mode":"eco","unknown":1})";
  host->replyLocal("/s", partial);
  rapidjson::Document outcome = parse(post(*host, "fetch", R"({"path":"/s","typed":true})").result);
  EXPECT_EQ(member(outcome, "failed"), "false");
  EXPECT_EQ(member(outcome["value"], "mode"), "eco");
  EXPECT_EQ(member(outcome["value"], "level"), "0");

  LocalReply wrong;
  wrong.json = R"({"level":"very"})";
  host->replyLocal("/s", wrong);
  outcome = parse(post(*host, "fetch", R"({"path":"/s","typed":true})").result);
  EXPECT_EQ(member(outcome, "failed"), "true");
  EXPECT_EQ(member(outcome, "errorCode"), "0");
  EXPECT_THAT(member(outcome, "message"), StartsWith("Error converting response for GET /s: "));
  EXPECT_EQ(outcome["fields"].MemberCount(), 3u);
}

std::vector<std::string> streamCalls(const TestHost& host) {
  std::vector<std::string> calls;
  for (const std::string& call : host.calls) {
    if (call.rfind("sendLocalRequest", 0) != 0 && call.rfind("log", 0) != 0) calls.push_back(call);
  }
  return calls;
}

TEST(LocalFetch, StreamedAnswersAreReadInPiecesWithAYieldAfterEachShortRead) {
  auto host = initialised();
  LocalReply streamed;
  const std::string full(4096, ' ');
  streamed.streamPieces = {"{\"items\":[1,", "2,3", full, "]}"};
  streamed.expectedSize = 1 << 30;  // a wild hint must not matter
  host->replyLocal("/big", streamed);
  const rapidjson::Document outcome = parse(post(*host, "fetch", R"({"path":"/big"})").result);
  EXPECT_EQ(member(outcome, "failed"), "false");
  ASSERT_TRUE(outcome["value"]["items"].IsArray());
  EXPECT_EQ(outcome["value"]["items"].Size(), 3u);
  // A short read with more to come yields once; a full read and the last read do not.
  EXPECT_THAT(streamCalls(*host),
              ElementsAre("read", "beginWait Wait: yield 0", "yield", "endWait", "read",
                          "beginWait Wait: yield 0", "yield", "endWait", "read", "read",
                          "releaseStream", "releaseLocalAnswer"));
}

TEST(LocalFetch, StreamFailuresAreReportedAndTheStreamStillReleased) {
  auto host = initialised();
  LocalReply broken;
  broken.streamPieces = {"{\"a\":", "1}"};
  broken.failReadAt = 1;
  host->replyLocal("/broken", broken);
  rapidjson::Document outcome = parse(post(*host, "fetch", R"({"path":"/broken"})").result);
  EXPECT_EQ(member(outcome, "failed"), "true");
  EXPECT_EQ(member(outcome, "errorCode"), "0");
  EXPECT_EQ(member(outcome, "message"),
            "Error reading streamed response for GET /broken: Stream read error");
  EXPECT_EQ(host->streamReleases, 1);

  LocalReply garbage;
  garbage.streamPieces = {"{\"a\":"};
  host->replyLocal("/garbage", garbage);
  outcome = parse(post(*host, "fetch", R"({"path":"/garbage"})").result);
  EXPECT_EQ(member(outcome, "failed"), "true");
  EXPECT_THAT(member(outcome, "message"),
              StartsWith("Error reading streamed response for GET /garbage: Error: "));
  EXPECT_EQ(host->streamReleases, 2);
  EXPECT_EQ(host->answerReleases, 2);
}

TEST(CallWithParameters, SendsEachParameterAsAHostValue) {
  auto host = initialised();
  LocalReply accepted;
  host->replyLocal("/x/y", accepted);
  const rapidjson::Document outcome = parse(
      post(*host, "call", R"({"path":"/x/y","parameters":{"b":[1,"two"],"a":{"k":true}}})").result);
  EXPECT_EQ(member(outcome, "failed"), "false");
  ASSERT_EQ(host->localCalls.size(), 1u);
  const LocalCall& call = host->localCalls[0];
  EXPECT_EQ(call.method, kPost);
  EXPECT_EQ(call.pluginHandle, 0x51u);
  EXPECT_THAT(call.parameters,
              ElementsAre(std::pair<std::string, std::string>{"a", R"({"k":true})"},
                          std::pair<std::string, std::string>{"b", R"([1,"two"])"}));
}

TEST(Telemetry, PostsTheEventThroughTheLocalApi) {
  auto host = initialised();
  host->replyLocal("/telemetry/v1/events/widget-open", LocalReply{});
  rapidjson::Document outcome =
      parse(post(*host, "telemetry", R"({"name":"widget-open","payload":{"count":2}})").result);
  EXPECT_EQ(member(outcome, "ready"), "true") << "ready when SendTelemetry returns";
  EXPECT_EQ(member(outcome, "failed"), "false");
  ASSERT_EQ(host->localCalls.size(), 1u);
  EXPECT_EQ(host->localCalls[0].target, "/telemetry/v1/events/widget-open");
  EXPECT_EQ(host->localCalls[0].method, kPost);
  EXPECT_THAT(host->localCalls[0].parameters,
              ElementsAre(std::pair<std::string, std::string>{"count", "2"}));

  // Unscripted: the host answers 404, and the future carries that error.
  outcome = parse(post(*host, "telemetry", R"({"name":"other","payload":{}})").result);
  EXPECT_EQ(member(outcome, "ready"), "true");
  EXPECT_EQ(member(outcome, "failed"), "true");
  EXPECT_EQ(member(outcome, "errorCode"), "404");
  EXPECT_EQ(member(outcome, "message"),
            "Error response for POST /telemetry/v1/events/other: Not found");
}

TEST(ErrorResults, NotFoundWithoutTextAnswersNotFound) {
  auto host = initialised();
  EndpointAnswer answer =
      host->call(kGet, "/tev-test-plugin/v1/not-found", "/tev-test-plugin/v1/not-found");
  EXPECT_TRUE(answer.hasError);
  EXPECT_EQ(answer.status, 404);
  EXPECT_EQ(answer.error, "Not found");
  EXPECT_EQ(answer.result, "null");
}

}  // namespace
}  // namespace plugintest
