// The framework's pieces in-process: answer conversion, remoting errors, typed results, the
// typed resource adapter and the service-proxy tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/binding_registry.h"
#include "plugin/external_request.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_manager_types.h"
#include "plugin/remoting_error.h"
#include "plugin/remoting_typed_result.h"
#include "plugin/service_proxy_tables.h"

namespace tev {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr char kLabel[] = "POST https://store.example/v1/validate";

HostExternalAnswer answerWith(std::int32_t errorCode, std::int32_t status, const char* body) {
  HostExternalAnswer answer{};
  answer.errorCode = errorCode;
  answer.status = status;
  answer.body = body;
  answer.bodyLength = body != nullptr ? static_cast<std::uint32_t>(std::string(body).size()) : 0;
  return answer;
}

TEST(ExternalAnswer, EmptyBodyIsADecodeError) {
  const ExternalResponse response =
      convertExternalAnswer(answerWith(0, 204, nullptr), kLabel, "test");
  EXPECT_EQ(response.error, 0);
  EXPECT_EQ(response.status, 204);
  EXPECT_EQ(response.decodeError, 1);
  EXPECT_EQ(std::string(response.message),
            "Error converting response for POST https://store.example/v1/validate: body was "
            "empty");
  EXPECT_TRUE(response.body.isEmpty());
}

TEST(ExternalAnswer, BodyThatIsNotJsonIsKeptAsText) {
  const ExternalResponse response = convertExternalAnswer(answerWith(0, 503, "oops"), kLabel, "t");
  EXPECT_EQ(response.decodeError, 1);
  EXPECT_THAT(std::string(response.message),
              StartsWith("Error deserializing json response for POST "
                         "https://store.example/v1/validate: Error: "));
  ASSERT_TRUE(response.body.isString());
  EXPECT_EQ(response.body.getString(), "oops");
}

TEST(ExternalAnswer, JsonBodyIsParsed) {
  const ExternalResponse response =
      convertExternalAnswer(answerWith(0, 200, "{\"ok\":true}"), kLabel, "t");
  EXPECT_EQ(response.decodeError, 0);
  EXPECT_TRUE(response.message.empty());
  EXPECT_TRUE(response.body.getMember("ok").getBool());
}

TEST(ExternalAnswer, HostErrorCodesAreMapped) {
  const struct {
    std::int32_t host;
    std::int32_t mapped;
  } kCases[] = {{7, 1}, {2, 2}, {-1, -1}, {1, 1}, {-5, 1}};
  for (const auto& row : kCases) {
    const ExternalResponse response =
        convertExternalAnswer(answerWith(row.host, 200, "connection refused"), kLabel, "t");
    EXPECT_EQ(response.error, row.mapped) << row.host;
    EXPECT_EQ(response.status, 0) << "nothing else is read on a host error";
    EXPECT_EQ(std::string(response.message), "connection refused");
    EXPECT_EQ(response.decodeError, -1);
  }
}

TEST(ExternalAnswer, HeadersAreCopiedAndMissingHeadersStayAnError) {
  const HostHeader headers[] = {{"Content-Type", "application/json"}, {"X-Id", nullptr}};
  HostExternalAnswer answer = answerWith(0, 200, "[1]");
  answer.headers = headers;
  answer.headerCount = 2;
  ExternalResponse response = convertExternalAnswer(answer, kLabel, "t");
  EXPECT_EQ(response.headers.size(), 2u);
  EXPECT_EQ(std::string(response.headers["Content-Type"]), "application/json");
  EXPECT_EQ(std::string(response.headers["X-Id"]), "");

  // A count without an array: the body is still read, but the answer is not reported clean.
  answer.headers = nullptr;
  response = convertExternalAnswer(answer, kLabel, "t");
  EXPECT_EQ(response.decodeError, 1);
  EXPECT_EQ(std::string(response.message),
            "Error converting response for POST https://store.example/v1/validate: headers was "
            "null");
  EXPECT_TRUE(response.body.isCollection());
}

TEST(ExternalAnswer, BodyIsReadOnlyUpToItsLength) {
  HostExternalAnswer answer = answerWith(0, 200, "[1][2]");
  answer.bodyLength = 3;
  const ExternalResponse response = convertExternalAnswer(answer, kLabel, "t");
  EXPECT_EQ(response.decodeError, 0);
  EXPECT_EQ(response.body.size(), 1u);
}

TEST(HeaderName, ComparesWithoutLetterCase) {
  EXPECT_TRUE(headerNameEquals("User-Agent", "user-agent"));
  EXPECT_TRUE(headerNameEquals("USER-AGENT", "user-agent"));
  EXPECT_FALSE(headerNameEquals("user-agents", "user-agent"));
  EXPECT_FALSE(headerNameEquals("user_agent", "user-agent"));
}

TEST(RemotingError, KeepsItsFieldsAndTheCode) {
  const RemotingError error =
      makeRemotingError(503, "Error response for {method} {url}: {error}", "GET", "/a/b", "down");
  EXPECT_EQ(std::string(error.message), "Error response for GET /a/b: down");
  EXPECT_EQ(error.errorCode, 503);
  EXPECT_EQ(std::string(error.fields.at("method").text), "GET");
  EXPECT_EQ(std::string(error.fields.at("url").text), "/a/b");
  EXPECT_EQ(std::string(error.fields.at("error").text), "down");
  EXPECT_EQ(static_cast<std::int64_t>(error.fields.at("errorCode_int").integer), 503);

  const RemotingError plain = makeRemotingError(
      0, "Error converting response for {method} {url}: {error}", "GET", "/a/%s", "50% off");
  EXPECT_EQ(std::string(plain.message), "Error converting response for GET /a/%s: 50% off");
  EXPECT_EQ(plain.fields.count("errorCode_int"), 0u);
  EXPECT_EQ(plain.fields.size(), 3u);
}

TEST(RemotingTypedResult, StandardErrorsCarryTheirStatusAndDefaultText) {
  const auto notFound = NotFound();
  EXPECT_FALSE(notFound.succeeded);
  EXPECT_EQ(notFound.status, 404);
  EXPECT_EQ(std::string(notFound.error), "Not found");
  EXPECT_EQ(std::string(NotFound<int>("no such item").error), "no such item");
  const auto failure = InternalServerError<bool>();
  EXPECT_EQ(failure.status, 500);
  EXPECT_EQ(std::string(failure.error), "Internal server error");
  EXPECT_EQ(failure.body, nullptr);
}

TEST(RemotingTypedResult, BecomesTheRoutersCallResult) {
  BindingRegistry registry;
  registry.initialize();
  registerPluginManagerTypes(registry);
  PluginManagerResource resource;
  resource.state = PluginManagerState::PluginsInitialized;
  auto typed = RemotingSuccess(resource);
  typed.status = 201;
  typed.statusText = "Created";
  typed.headers.emplace("X-Test", "1");
  CallResult call = toCallResult(std::move(typed), &registry);
  ASSERT_TRUE(call.result.ok());
  EXPECT_TRUE(call.result.value().getMember("state").isEnum());
  EXPECT_EQ(call.status, 201);
  EXPECT_EQ(std::string(call.statusText), "Created");
  EXPECT_EQ(call.headers.size(), 1u);

  CallResult failed = toCallResult(NotFound<PluginManagerResource>(), &registry);
  EXPECT_FALSE(failed.result.ok());
  EXPECT_EQ(failed.result.error(), "Not found");
  EXPECT_EQ(failed.status, 404);
}

struct TypedDelivery {
  std::vector<std::string> seen;
  TypedResourceHandler<PluginManagerResource> handler() {
    return TypedResourceHandler<PluginManagerResource>::make(
        [this](const TypedResourceEvent<PluginManagerResource>& event) {
          seen.push_back(std::string(event.uri) + " " +
                         std::to_string(static_cast<int>(event.eventType)) + " " +
                         std::to_string(static_cast<int>(event.data.state)));
        });
  }
};

TEST(TypedResourceAdapter, ConvertsDataAndLetsDeletionsThrough) {
  BindingRegistry registry;
  registry.initialize();
  registerPluginManagerTypes(registry);
  TypedDelivery delivery;
  const auto handler = delivery.handler();

  PluginResourceEvent event;
  event.uri = "/plugin-manager/v1/status";
  event.eventType = PluginResourceEventType::Update;
  event.data.member("state").setString("PluginsInitialized");
  deliverTypedResourceEvent<PluginManagerResource>(handler, event, &registry);

  // Data that does not convert is dropped, unless the event is a deletion.
  event.data.member("state").setString("Exploded");
  deliverTypedResourceEvent<PluginManagerResource>(handler, event, &registry);
  event.eventType = PluginResourceEventType::Delete;
  deliverTypedResourceEvent<PluginManagerResource>(handler, event, &registry);

  EXPECT_THAT(delivery.seen,
              ElementsAre("/plugin-manager/v1/status 1 1", "/plugin-manager/v1/status 2 0"));
}

PluginServiceProxyResponse message(const char* uuid, const char* service, const char* method,
                                   const char* payload) {
  PluginServiceProxyResponse response;
  response.uuid = uuid;
  response.serviceName = service;
  response.methodName = method;
  response.payload = payload;
  return response;
}

TEST(ServiceProxyTables, AMessageWaitsForItsRequest) {
  ServiceProxyTables tables;
  std::vector<std::string> fulfilled;
  auto waiting = [&fulfilled](const char* name) {
    return ServiceProxyHandler::make([&fulfilled, name](const PluginServiceProxyResponse& r) {
      fulfilled.push_back(std::string(name) + ":" + std::string(r.payload));
    });
  };
  tables.handleUuidMessage(message("u-1", "", "", "first"), "t");
  tables.handleUuidMessage(message("u-1", "", "", "second"), "t");
  EXPECT_EQ(tables.responseCount(), 1u) << "a later message replaces an earlier one";
  tables.addPendingRequest("u-1", waiting("u-1"));
  EXPECT_TRUE(fulfilled.empty()) << "registering a request does not run the pass";

  // An async message does not run the pass; any uuid or method message does.
  tables.handleAsyncMessage(message("", "svc", "m", "x"), "t");
  EXPECT_TRUE(fulfilled.empty());
  tables.handleMethodMessage(message("", "svc", "get", "by method"), "t");
  EXPECT_THAT(fulfilled, ElementsAre("u-1:second"));
  EXPECT_EQ(tables.pendingCount(), 0u);
  EXPECT_EQ(tables.responseCount(), 1u) << "the method message is kept for its own request";

  tables.addPendingRequest(serviceProxyMethodKey("svc", "get"), waiting("svc.get"));
  EXPECT_TRUE(tables.fulfil("t"));
  EXPECT_FALSE(tables.fulfil("t"));
  EXPECT_THAT(fulfilled, ElementsAre("u-1:second", "svc.get:by method"));
  EXPECT_EQ(tables.responseCount(), 0u);
}

TEST(ServiceProxyTables, OnePassFulfilsOneRequest) {
  ServiceProxyTables tables;
  int calls = 0;
  const auto handler =
      ServiceProxyHandler::make([&calls](const PluginServiceProxyResponse&) { ++calls; });
  tables.addPendingRequest("a", handler);
  tables.addPendingRequest("b", handler);
  tables.handleUuidMessage(message("a", "", "", ""), "t");
  EXPECT_EQ(calls, 1);
  // "b" arrives: the pass finds it; one request per pass.
  tables.handleUuidMessage(message("b", "", "", ""), "t");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(tables.pendingCount(), 0u);
}

TEST(ServiceProxyTables, OnePassFulfilsOneOfSeveralMatches) {
  ServiceProxyTables tables;
  std::vector<std::string> fulfilled;
  const auto handler = ServiceProxyHandler::make(
      [&fulfilled](const PluginServiceProxyResponse& r) { fulfilled.emplace_back(r.uuid); });
  // Three responses wait for requests; the requests come later, all three at once.
  for (const char* uuid : {"a", "b", "c"}) tables.handleUuidMessage(message(uuid, "", "", ""), "t");
  for (const char* uuid : {"a", "b", "c"}) tables.addPendingRequest(uuid, handler);
  ASSERT_EQ(tables.responseCount(), 3u);

  EXPECT_TRUE(tables.fulfil("t"));
  EXPECT_EQ(fulfilled.size(), 1u) << "one pass, one request";
  EXPECT_EQ(tables.pendingCount(), 2u);
  EXPECT_EQ(tables.responseCount(), 2u);
  // A message of its own runs one more pass, which again takes one of the two left.
  tables.handleMethodMessage(message("", "svc", "m", ""), "t");
  EXPECT_EQ(fulfilled.size(), 2u);
  EXPECT_EQ(tables.pendingCount(), 1u);
  EXPECT_TRUE(tables.fulfil("t"));
  EXPECT_FALSE(tables.fulfil("t"));
  EXPECT_THAT(fulfilled, ::testing::UnorderedElementsAre("a", "b", "c"));
  EXPECT_EQ(tables.responseCount(), 1u) << "only the method message, which nobody asked for";
}

TEST(ServiceProxyTables, AsyncHandlersAreFoundByServiceAndMethod) {
  ServiceProxyTables tables;
  std::string payload;
  tables.addAsyncHandler("svc", "notify", ServiceProxyHandler::make([&payload](const auto& r) {
                           payload = std::string(r.payload);
                         }));
  tables.handleAsyncMessage(message("", "svc", "notify", "hello"), "t");
  EXPECT_EQ(payload, "hello");
  tables.handleAsyncMessage(message("", "svc", "other", "dropped"), "t");
  EXPECT_EQ(payload, "hello");
  tables.clear();
  EXPECT_EQ(tables.asyncHandlerCount(), 0u);
  EXPECT_EQ(std::string(serviceProxyMethodKey("a", "b")), "a.b");
}

}  // namespace
}  // namespace tev
