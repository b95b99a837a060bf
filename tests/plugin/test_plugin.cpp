#include "tests/plugin/test_plugin.h"

#include <chrono>
#include <future>
#include <utility>

#include "binding/binding_field_registration.h"
#include "logging/log_message.h"
#include "plugin/remoting_typed_result.h"
#include "plugin/telemetry_adapter.h"
#include "router/http_method.h"

namespace plugintest {
namespace {

using tev::BindingProperty;
using tev::String;
using tev::toString;

BindingProperty text(std::string_view value) {
  BindingProperty property;
  property.setString(value);
  return property;
}

BindingProperty number(std::int64_t value) {
  BindingProperty property;
  property.setSigned(value);
  return property;
}

// A JSON number as a signed integer: the reader makes non-negative ones unsigned.
std::int64_t integer(const BindingProperty& value, std::int64_t fallback = 0) {
  if (value.isUnsigned()) return static_cast<std::int64_t>(value.getUnsigned());
  return value.getSigned(fallback);
}

BindingProperty settingsValue(const TestSettings& settings) {
  BindingProperty value;
  value.member("mode").setString(settings.mode);
  value.member("level").setSigned(settings.level);
  return value;
}

BindingProperty fieldsValue(const tev::FieldMap& fields) {
  BindingProperty value;
  value.makeStructure();
  for (const auto& [name, field] : fields) {
    BindingProperty& member = value.member(name);
    switch (field.kind) {
      case tev::FieldValue::kText:
        member.setString(field.text);
        break;
      case tev::FieldValue::kSigned:
        member.setSigned(static_cast<std::int64_t>(field.integer));
        break;
      default:
        member.setString("?");
        break;
    }
  }
  return value;
}

template <typename T>
BindingProperty callOutcome(const tev::RemoteCallResult<T>& result, BindingProperty value) {
  BindingProperty outcome;
  outcome.member("failed").setBool(result.failed);
  outcome.member("errorCode").setSigned(result.error.errorCode);
  outcome.member("message").setString(result.error.message);
  outcome.member("fields") = fieldsValue(result.error.fields);
  outcome.member("value") = std::move(value);
  return outcome;
}

}  // namespace

void TestPlugin::addEndpoint(std::uint32_t method, const char* path, bool takesBody,
                             BindingProperty (TestPlugin::*handler)(const BindingProperty&)) {
  tev::EndpointDefinition definition;
  definition.method = static_cast<tev::HttpMethod>(method);
  definition.path = path;
  definition.nameSpace = namespaceName();
  definition.tags = registrationTags();
  definition.locations.push_back(takesBody ? tev::ArgumentLocation::kBody
                                           : tev::ArgumentLocation::kAny);
  // An optional body: a GET sends none.
  static_cast<void>(tev::addTypedEndpoint(
      router(), std::move(definition), {"request"},
      [this, handler](
          std::optional<BindingProperty> request) -> tev::RemotingTypedResult<BindingProperty> {
        return tev::RemotingSuccess((this->*handler)(request ? *request : BindingProperty()));
      }));
}

void TestPlugin::RegisterEndpoints() {
  {
    auto builder = tev::registerBindingType<TestSettings>(router(), namespaceName() + "Settings");
    builder.addTags(registrationTags());
    tev::addBindingField(builder, "mode", &TestSettings::mode);
    tev::addBindingField(builder, "level", &TestSettings::level);
  }
  received_.makeCollection();
  const auto kGet = static_cast<std::uint32_t>(tev::HttpMethod::kGet);
  const auto kPost = static_cast<std::uint32_t>(tev::HttpMethod::kPost);
  addEndpoint(kGet, "/tev-test-plugin/v1/received", false, &TestPlugin::received);
  addEndpoint(kGet, "/tev-test-plugin/v1/state", false, &TestPlugin::state);
  addEndpoint(kPost, "/tev-test-plugin/v1/subscribe", true, &TestPlugin::subscribe);
  addEndpoint(kPost, "/tev-test-plugin/v1/unsubscribe", true, &TestPlugin::unsubscribe);
  addEndpoint(kPost, "/tev-test-plugin/v1/external", true, &TestPlugin::external);
  addEndpoint(kPost, "/tev-test-plugin/v1/fetch", true, &TestPlugin::fetch);
  addEndpoint(kPost, "/tev-test-plugin/v1/call", true, &TestPlugin::callWith);
  addEndpoint(kPost, "/tev-test-plugin/v1/publish", true, &TestPlugin::publish);
  addEndpoint(kPost, "/tev-test-plugin/v1/telemetry", true, &TestPlugin::telemetry);
  addEndpoint(kPost, "/tev-test-plugin/v1/service-proxy/await", true,
              &TestPlugin::awaitServiceProxy);
  addEndpoint(kPost, "/tev-test-plugin/v1/service-proxy/async", true,
              &TestPlugin::onAsyncServiceProxy);
  addEndpoint(kPost, "/tev-test-plugin/v1/log", true, &TestPlugin::log);
  tev::EndpointDefinition notFound;
  notFound.method = tev::HttpMethod::kGet;
  notFound.path = "/tev-test-plugin/v1/not-found";
  notFound.nameSpace = namespaceName();
  notFound.tags = registrationTags();
  static_cast<void>(tev::addTypedEndpoint(
      router(), std::move(notFound), {"text"},
      [](std::optional<String> message) { return tev::NotFound<bool>(message ? *message : ""); }));
}

bool TestPlugin::Start() {
  ObserveResource<TestSettings>(
      "/tev-test/v1/settings", [this](const tev::TypedResourceEvent<TestSettings>& event) {
        record("settings", event.uri, event.eventType, settingsValue(event.data));
      });
  ObserveResource<BindingProperty>("/tev-test/v1/items/*",
                                   [this](const tev::TypedResourceEvent<BindingProperty>& event) {
                                     record("items", event.uri, event.eventType, event.data);
                                   });
  return pluginHandle() != kRefusedHandle;
}

void TestPlugin::record(const char* source, const String& uri, tev::PluginResourceEventType type,
                        BindingProperty data) {
  BindingProperty& entry = received_.append();
  entry.member("source").setString(source);
  entry.member("uri").setString(uri);
  entry.member("eventType").setSigned(static_cast<std::int64_t>(type));
  entry.member("data") = std::move(data);
}

BindingProperty TestPlugin::received(const BindingProperty&) { return received_; }

BindingProperty TestPlugin::state(const BindingProperty&) {
  BindingProperty value;
  value.member("userAgent").setString(userAgent());
  value.member("namespaceName").setString(namespaceName());
  value.member("fullName").setString(identity().fullName);
  value.member("shortName").setString(shortName());
  BindingProperty& tags = value.member("tags");
  tags.makeCollection();
  for (const String& tag : registrationTags()) tags.append().setString(tag);
  value.member("eventHandlers").setUnsigned(eventHandlerCount());
  return value;
}

BindingProperty TestPlugin::subscribe(const BindingProperty& request) {
  Subscribe(toString(request.getMember("path").getString()));
  return number(subscriptionCount(request.getMember("event").getString()));
}

BindingProperty TestPlugin::unsubscribe(const BindingProperty& request) {
  Unsubscribe(toString(request.getMember("path").getString()));
  return number(subscriptionCount(request.getMember("event").getString()));
}

BindingProperty TestPlugin::external(const BindingProperty& request) {
  tev::ExternalRequest outgoing;
  outgoing.method =
      tev::httpMethodFromHost(static_cast<std::uint32_t>(integer(request.getMember("method"), 6)));
  outgoing.url = toString(request.getMember("url").getString());
  for (const tev::BindingMember header : request.getMember("headers").members()) {
    outgoing.headers.insert_or_assign(toString(header.key), toString(header.value.getString()));
  }
  outgoing.body = toString(request.getMember("body").getString());
  outgoing.parameter = static_cast<std::uint32_t>(integer(request.getMember("parameter")));
  outgoing.flag = static_cast<std::uint8_t>(integer(request.getMember("flag")));
  tev::ExternalResponse response =
      request.getMember("post").getBool()
          ? postToUrl(outgoing.url, outgoing.body, outgoing.parameter, outgoing.headers)
          : sendExternal(outgoing);
  BindingProperty value;
  value.member("error").setSigned(response.error);
  value.member("status").setSigned(response.status);
  value.member("decodeError").setSigned(response.decodeError);
  value.member("message").setString(response.message);
  BindingProperty& headers = value.member("headers");
  headers.makeStructure();
  for (const auto& [name, headerValue] : response.headers)
    headers.member(name).setString(headerValue);
  value.member("body") = std::move(response.body);
  return value;
}

BindingProperty TestPlugin::fetch(const BindingProperty& request) {
  const std::string_view path = request.getMember("path").getString();
  if (request.getMember("typed").getBool()) {
    const auto result = fetchTyped<TestSettings>(tev::HttpMethod::kGet, path);
    return callOutcome(result, result.failed ? BindingProperty() : settingsValue(result.value));
  }
  auto result = fetchTyped<BindingProperty>(tev::HttpMethod::kGet, path);
  BindingProperty value = result.value;
  return callOutcome(result, std::move(value));
}

BindingProperty TestPlugin::callWith(const BindingProperty& request) {
  tev::ParameterMap parameters;
  for (const tev::BindingMember parameter : request.getMember("parameters").members()) {
    parameters.insert_or_assign(toString(parameter.key), parameter.value);
  }
  const auto result =
      callWithParameters(tev::HttpMethod::kPost, request.getMember("path").getString(), parameters);
  return callOutcome(result, BindingProperty());
}

BindingProperty TestPlugin::publish(const BindingProperty& request) {
  tev::PluginResourceEvent event;
  event.uri = toString(request.getMember("uri").getString());
  event.eventType =
      static_cast<tev::PluginResourceEventType>(integer(request.getMember("eventType")));
  event.data = request.getMember("data");
  const tev::BindingResult result = FireResourceEvent(
      "OnJsonApiEvent", event, static_cast<std::uint32_t>(integer(request.getMember("word"))));
  BindingProperty value;
  value.member("ok").setBool(result.ok());
  value.member("error").setString(result.error());
  return value;
}

BindingProperty TestPlugin::telemetry(const BindingProperty& request) {
  tev::ParameterMap payload;
  for (const tev::BindingMember parameter : request.getMember("payload").members()) {
    payload.insert_or_assign(toString(parameter.key), parameter.value);
  }
  auto future =
      BackendPlugin::telemetry()->SendTelemetry(request.getMember("name").getString(), payload);
  // The future is to be ready when SendTelemetry returns: it is looked at, not waited for, so
  // that one still pending shows instead of being waited out here.
  const bool ready =
      future.valid() && future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  BindingProperty outcome =
      ready ? callOutcome(future.get(), BindingProperty()) : BindingProperty();
  outcome.member("ready").setBool(ready);
  return outcome;
}

BindingProperty TestPlugin::awaitServiceProxy(const BindingProperty& request) {
  const String key = toString(request.getMember("key").getString());
  addServiceProxyRequest(
      key,
      tev::ServiceProxyHandler::make([this, key](const tev::PluginServiceProxyResponse& response) {
        record("serviceProxy", key, tev::PluginResourceEventType::Update, text(response.payload));
      }));
  return number(static_cast<std::int64_t>(serviceProxy().pendingCount()));
}

BindingProperty TestPlugin::onAsyncServiceProxy(const BindingProperty& request) {
  addServiceProxyAsyncHandler(
      request.getMember("service").getString(), request.getMember("method").getString(),
      tev::ServiceProxyHandler::make([this](const tev::PluginServiceProxyResponse& response) {
        record("async", response.serviceName + "." + response.methodName,
               tev::PluginResourceEventType::Update, text(response.payload));
      }));
  return number(static_cast<std::int64_t>(serviceProxy().asyncHandlerCount()));
}

BindingProperty TestPlugin::log(const BindingProperty& request) {
  const String message = toString(request.getMember("text").getString());
  tev::logMessage(static_cast<std::int32_t>(integer(request.getMember("level"))),
                  static_cast<std::uint32_t>(integer(request.getMember("group"), 1)), 0, "%s",
                  message.c_str());
  return BindingProperty();
}

}  // namespace plugintest
