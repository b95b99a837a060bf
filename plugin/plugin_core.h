// The host-facing core of every plugin object: reference-counted event subscriptions, resource
// events in and out, typed calls through the host, and the service-proxy tables. The host's
// functions themselves are pure operations that BackendPlugin forwards. Lives as long as the
// plugin object; the event and subscription tables take no lock, so the host must not deliver
// events while the feature subscribes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

#include "binding/binding_conversion.h"
#include "binding/binding_property.h"
#include "binding/binding_result.h"
#include "binding/binding_type_info.h"
#include "platform/allocator.h"
#include "platform/host_boundary.h"
#include "plugin/event_subscriber.h"
#include "plugin/external_request.h"
#include "plugin/plugin_manager_types.h"
#include "plugin/remoting_error.h"
#include "plugin/resource_dispatcher.h"
#include "plugin/service_proxy_tables.h"
#include "plugin/shared_handler.h"
#include "plugin/trace.h"
#include "plugin/typed_resource_event.h"
#include "router/http_method.h"

namespace tev {

class BindingRegistry;
class TelemetryAdapter;

// Named parameters of a local request, sent in key order.
using ParameterMap = OrderedMap<String, BindingProperty>;

template <typename T>
using TypedResourceHandler = SharedHandler<const TypedResourceEvent<T>&>;

// The typed adapter: a deletion reaches `handler` with a default T; any other event only when its
// data converts to T (with `registry`), else it is dropped after a trace.
template <typename T>
void deliverTypedResourceEvent(const TypedResourceHandler<T>& handler,
                               const PluginResourceEvent& event, const BindingRegistry* registry) {
  TypedResourceEvent<T> typed;
  typed.uri = event.uri;
  typed.eventType = event.eventType;
  if (event.eventType != PluginResourceEventType::Delete) {
    BindingResult result;
    if (!convertToNative(result, event.data, typed.data, "<value>", registry)) {
      trace("Couldn't convert resource %s to C++ while handling update for URL: %s",
            bindingTypeInfo<T>().displayText, event.uri.c_str());
      return;
    }
  }
  handler(typed);
}

class PluginCore : public EventSubscriber {
 public:
  PluginCore(const PluginCore&) = delete;
  PluginCore& operator=(const PluginCore&) = delete;

  // Counts a subscriber of the resource `name`'s event; the first one registers a handler with
  // the host (flag 0) that hands each converted event to the resource dispatcher.
  void Subscribe(const String& name) override;
  // Drops a subscriber; the last one removes the host handler. The count entry stays. A name
  // without subscribers is left alone, so the count never goes below zero.
  void Unsubscribe(const String& name) override;

  virtual ~PluginCore();

  // Removes every host event handler in table order, empties the handler table and, under the
  // service-proxy mutex, the service-proxy tables. Subscription counts are kept.
  virtual void ReleaseSubscriptions();

  // The host's functions 0 to 8, with the table address put first. Only after Initialize.
  virtual void SendLocalRequest(HostLocalAnswer& response, const HostLocalRequest& request) = 0;
  virtual void SendExternalRequest(HostExternalAnswer& response,
                                   const HostExternalRequest& request) = 0;
  virtual void FireEvent(const HostEvent& event) = 0;
  virtual void AddEventHandler(const char* name, std::uint32_t handle, HostEventCallback callback,
                               void* context, std::uint32_t flag) = 0;
  virtual void RemoveEventHandler(const char* name, std::uint32_t handle) = 0;
  virtual void CallHostFunction5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double value,
                                 std::uint32_t d) = 0;
  virtual void Yield() = 0;
  virtual void BeginWait(const char* label, std::uint32_t flag) = 0;
  virtual void EndWait() = 0;

  // Follows the resource at `path` (a path, or a pattern where "*" stands for one segment):
  // `handler` receives TypedResourceEvent<T> for every event whose data converts to T, and every
  // deletion. For an exact path the current value is fetched at once with a GET and, when that
  // succeeds, handed over as a Create; a failed fetch is not reported. Throws std::bad_alloc.
  template <typename T, typename F>
  void ObserveResource(std::string_view path, F&& handler);

  // Publishes `event` under its path's event name and, when that differs, also under `kind`
  // ("OnJsonApiEvent"), with `word` in the record. Fails with the conversion's error when the
  // event cannot be converted; nothing is published then.
  [[nodiscard]] BindingResult FireResourceEvent(std::string_view kind,
                                                const PluginResourceEvent& event,
                                                std::uint32_t word);

  // Sends an HTTP request through the host and converts its answer. The plugin's user agent is
  // put first unless the request has a "user-agent" header in any letter case. Never fails:
  // errors are in the response.
  [[nodiscard]] ExternalResponse sendExternal(const ExternalRequest& request);
  // POSTs `body` to `url` with `headers`, the request parameter and flag 1.
  [[nodiscard]] ExternalResponse postToUrl(std::string_view url, std::string_view body,
                                           std::uint32_t parameter, const HeaderMap& headers);

  // Requests `target` on the host's local API and converts the answer (a host value, or a
  // streamed JSON text) to T. Failures carry the host's status (host errors) or 0.
  template <typename T>
  [[nodiscard]] RemoteCallResult<T> fetchTyped(HttpMethod method, std::string_view target);
  // Requests `target` with named parameters; no result value. A parameter that cannot be made a
  // host value fails with 400 before anything is sent.
  [[nodiscard]] RemoteCallResult<> callWithParameters(HttpMethod method, std::string_view target,
                                                      const ParameterMap& parameters);

  // Registers a request waiting for the service-proxy message of `key` (a uuid or
  // "<service>.<method>"); its handler runs once, with the tables' mutex held.
  void addServiceProxyRequest(std::string_view key, ServiceProxyHandler handler);
  // Registers the handler of async service-proxy messages of serviceName.methodName.
  void addServiceProxyAsyncHandler(std::string_view serviceName, std::string_view methodName,
                                   ServiceProxyHandler handler);

  // Makes `registry` the one this core uses and registers the plugin-manager types and events
  // in it.
  void RegisterPluginManagerTypes(BindingRegistry& registry);

  [[nodiscard]] BindingRegistry* registry() const noexcept { return registry_; }
  [[nodiscard]] std::uint32_t pluginHandle() const noexcept { return pluginHandle_; }
  [[nodiscard]] const String& shortName() const noexcept { return shortName_; }
  [[nodiscard]] const String& userAgent() const noexcept { return userAgent_; }
  // Null before Initialize.
  [[nodiscard]] TelemetryAdapter* telemetry() const noexcept { return telemetry_.get(); }
  [[nodiscard]] const ResourceDispatcher& dispatcher() const noexcept { return dispatcher_; }
  [[nodiscard]] ServiceProxyTables& serviceProxy() noexcept { return serviceProxy_; }
  // The subscription count of an event name (0 when never subscribed).
  [[nodiscard]] std::int32_t subscriptionCount(std::string_view eventName) const;
  [[nodiscard]] bool hasEventHandler(std::string_view eventName) const;
  [[nodiscard]] std::size_t eventHandlerCount() const noexcept { return eventHandlers_.size(); }

  // The callbacks handed to AddEventHandler; the record's context is the PluginCore.
  static void resourceEventCallback(const HostEvent* event) noexcept;
  static void serviceProxyEventCallback(const HostEvent* event) noexcept;

 protected:
  PluginCore();

  // The pieces of Initialize that live here.
  void setSession(std::uint32_t pluginHandle, std::string_view shortName);
  void setUserAgent(String userAgent) { userAgent_ = std::move(userAgent); }
  void createTelemetryAdapter();
  void wireDispatcher() noexcept { dispatcher_.wire(registry_, this); }
  // Registers "OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent" and
  // "OnServiceProxyAsyncEvent" with the host (flag 1).
  void registerServiceProxyHandlers();

 private:
  enum class HandlerKind { kResource, kServiceProxy };
  struct HostEventHandler {
    HandlerKind kind = HandlerKind::kResource;
    SharedHandler<const PluginResourceEvent&> resource;
    ServiceProxyHandler serviceProxy;
  };

  void deliverHostEvent(const HostEvent& event, HandlerKind kind);
  template <typename Record, typename Handler>
  void convertAndCall(const BindingProperty& value, const char* eventName, const Handler& handler);
  // Requests `target` and converts the answer to a value; false with `error` set on failure.
  bool fetchValue(HttpMethod method, std::string_view target, BindingProperty& value,
                  RemotingError& error);
  bool readStream(const HostLocalAnswer& answer, BindingProperty& value, String& error);
  static RemotingError conversionError(HttpMethod method, std::string_view target,
                                       std::string_view error);

  ResourceDispatcher dispatcher_;
  BindingRegistry* registry_ = nullptr;
  std::uint32_t pluginHandle_ = 0;
  String shortName_;
  String userAgent_;
  UniquePtr<TelemetryAdapter> telemetry_;
  StringMap<HostEventHandler> eventHandlers_;
  StringMap<std::int32_t> subscriptionCounts_;
  ServiceProxyTables serviceProxy_;
};

template <typename T, typename F>
void PluginCore::ObserveResource(std::string_view path, F&& handler) {
  const TypedResourceHandler<T> typed = TypedResourceHandler<T>::make(std::forward<F>(handler));
  dispatcher_.setHandler(path, ResourceHandler::make([typed](const PluginResourceEvent& event,
                                                             const BindingRegistry* registry) {
                           deliverTypedResourceEvent<T>(typed, event, registry);
                         }));
  Subscribe(toString(path));
  if (path.find('*') != std::string_view::npos) return;
  RemoteCallResult<T> current = fetchTyped<T>(HttpMethod::kGet, path);
  if (current.failed) return;
  TypedResourceEvent<T> created;
  created.uri = toString(path);
  created.eventType = PluginResourceEventType::Create;
  created.data = std::move(current.value);
  typed(created);
}

template <typename T>
RemoteCallResult<T> PluginCore::fetchTyped(HttpMethod method, std::string_view target) {
  RemoteCallResult<T> result;
  BindingProperty value;
  if (!fetchValue(method, target, value, result.error)) {
    result.failed = true;
    return result;
  }
  if constexpr (std::is_same_v<T, BindingProperty>) {
    result.value = std::move(value);
  } else {
    BindingResult converted;
    if (!convertToNative(converted, value, result.value, "<result>", registry_)) {
      result.error = conversionError(method, target, converted.error());
      result.failed = true;
    }
  }
  return result;
}

}  // namespace tev
