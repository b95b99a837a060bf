#include "plugin/plugin_core.h"

#include <utility>

#include "binding/host_value_conversion.h"
#include "logging/format_message.h"
#include "plugin/event_name.h"
#include "plugin/internal/host_records.h"
#include "plugin/plugin_manager_types.h"
#include "plugin/telemetry_adapter.h"

namespace tev {
namespace {

constexpr char kServiceProxyUuidEvent[] = "OnServiceProxyUuidEvent";
constexpr char kServiceProxyMethodEvent[] = "OnServiceProxyMethodEvent";
constexpr char kServiceProxyAsyncEvent[] = "OnServiceProxyAsyncEvent";

}  // namespace

PluginCore::PluginCore() : eventHandlers_(8), subscriptionCounts_(8) {}

PluginCore::~PluginCore() = default;

void PluginCore::Subscribe(const String& name) {
  String key = EventNameForResource(name);
  std::int32_t& count = subscriptionCounts_[key];
  ++count;
  if (count != 1) return;
  trace("%s: Subscribing to event: %s", shortName_.c_str(), key.c_str());
  try {
    HostEventHandler handler;
    handler.kind = HandlerKind::kResource;
    handler.resource = SharedHandler<const PluginResourceEvent&>::make(
        [this](const PluginResourceEvent& event) { dispatcher_.dispatch(event); });
    eventHandlers_.insert_or_assign(key, std::move(handler));
  } catch (...) {
    // Without the handler the host was never asked; the next Subscribe must ask again.
    --count;
    throw;
  }
  AddEventHandler(key.c_str(), pluginHandle_, &PluginCore::resourceEventCallback,
                  static_cast<void*>(this), 0);
}

void PluginCore::Unsubscribe(const String& name) {
  const String key = EventNameForResource(name);
  auto found = subscriptionCounts_.find(std::string_view(key));
  // Counting below zero would make the next Subscribe stop at 0 and never reach the host.
  if (found == subscriptionCounts_.end() || found->second <= 0) return;
  if (--found->second != 0) return;
  RemoveEventHandler(key.c_str(), pluginHandle_);
  auto handler = eventHandlers_.find(std::string_view(key));
  if (handler != eventHandlers_.end()) eventHandlers_.erase(handler);
  trace("%s: Unsubscribing to event: %s", shortName_.c_str(), key.c_str());
}

void PluginCore::ReleaseSubscriptions() {
  for (const auto& [name, handler] : eventHandlers_)
    RemoveEventHandler(name.c_str(), pluginHandle_);
  eventHandlers_.clear();
  serviceProxy_.clear();
}

BindingResult PluginCore::FireResourceEvent(std::string_view kind, const PluginResourceEvent& event,
                                            std::uint32_t word) {
  BindingResult value;
  if (!convertToValue(value, event, registry_)) return value;
  const String name = EventNameForResource(event.uri);
  trace("%s: Sending event: %s", shortName_.c_str(), name.c_str());
  plugin_internal::OwnedHostValue payload;
  if (!propertyToHostValue(payload.get(), value.value(), registry_)) {
    return BindingResult::failure(
        formatMessage("Couldn't convert the event for %1 to a host value", name));
  }
  HostEvent record{};
  record.name = name.c_str();
  record.payload = payload.get();
  record.word = word;
  record.context = nullptr;
  FireEvent(record);
  if (std::string_view(name) != kind) {
    const String kindText = toString(kind);
    record.name = kindText.c_str();
    FireEvent(record);
  }
  return BindingResult();
}

void PluginCore::addServiceProxyRequest(std::string_view key, ServiceProxyHandler handler) {
  serviceProxy_.addPendingRequest(key, std::move(handler));
}

void PluginCore::addServiceProxyAsyncHandler(std::string_view serviceName,
                                             std::string_view methodName,
                                             ServiceProxyHandler handler) {
  serviceProxy_.addAsyncHandler(serviceName, methodName, std::move(handler));
}

void PluginCore::RegisterPluginManagerTypes(BindingRegistry& registry) {
  registry_ = &registry;
  registerPluginManagerTypes(registry);
}

std::int32_t PluginCore::subscriptionCount(std::string_view eventName) const {
  auto found = subscriptionCounts_.find(eventName);
  return found != subscriptionCounts_.end() ? found->second : 0;
}

bool PluginCore::hasEventHandler(std::string_view eventName) const {
  return eventHandlers_.find(eventName) != eventHandlers_.end();
}

void PluginCore::setSession(std::uint32_t pluginHandle, std::string_view shortName) {
  pluginHandle_ = pluginHandle;
  shortName_ = toString(shortName);
}

void PluginCore::createTelemetryAdapter() {
  UniquePtr<TelemetryAdapter> adapter = makeUnique<TelemetryAdapter>(*this);
  if (!adapter) throw std::bad_alloc();
  telemetry_ = std::move(adapter);
}

void PluginCore::registerServiceProxyHandlers() {
  using Handle = void (ServiceProxyTables::*)(const PluginServiceProxyResponse&, std::string_view);
  const struct {
    const char* name;
    Handle handle;
  } kHandlers[] = {
      {kServiceProxyUuidEvent, &ServiceProxyTables::handleUuidMessage},
      {kServiceProxyMethodEvent, &ServiceProxyTables::handleMethodMessage},
      {kServiceProxyAsyncEvent, &ServiceProxyTables::handleAsyncMessage},
  };
  for (const auto& entry : kHandlers) {
    HostEventHandler handler;
    handler.kind = HandlerKind::kServiceProxy;
    handler.serviceProxy = ServiceProxyHandler::make(
        [this, handle = entry.handle](const PluginServiceProxyResponse& response) {
          (serviceProxy_.*handle)(response, shortName_);
        });
    eventHandlers_.insert_or_assign(String(entry.name), std::move(handler));
    AddEventHandler(entry.name, pluginHandle_, &PluginCore::serviceProxyEventCallback,
                    static_cast<void*>(this), 1);
  }
}

void PluginCore::resourceEventCallback(const HostEvent* event) noexcept {
  if (event == nullptr || event->context == nullptr) return;
  try {
    static_cast<PluginCore*>(event->context)->deliverHostEvent(*event, HandlerKind::kResource);
  } catch (...) {
    // Nothing may cross back into the host; an event that could not be handled is dropped.
  }
}

void PluginCore::serviceProxyEventCallback(const HostEvent* event) noexcept {
  if (event == nullptr || event->context == nullptr) return;
  try {
    static_cast<PluginCore*>(event->context)->deliverHostEvent(*event, HandlerKind::kServiceProxy);
  } catch (...) {
  }
}

void PluginCore::deliverHostEvent(const HostEvent& event, HandlerKind kind) {
  if (event.name == nullptr) return;
  auto found = eventHandlers_.find(std::string_view(event.name));
  if (found == eventHandlers_.end()) return;
  // A copy, so that a handler that unsubscribes its own event does not destroy itself.
  const HostEventHandler handler = found->second;
  if (handler.kind != kind) return;
  BindingProperty value;
  HostResult outcome{};
  const bool converted = hostValueToProperty(outcome, value, event.payload, "<result>");
  if (!converted) {
    trace("%s: Couldn't convert payload %s for event %s: %s", shortName_.c_str(),
          kind == HandlerKind::kResource
              ? bindingTypeInfo<PluginResourceEvent>().displayText
              : bindingTypeInfo<PluginServiceProxyResponse>().displayText,
          event.name, outcome.error != nullptr ? outcome.error : "");
    clearHostResult(outcome);
    return;
  }
  clearHostResult(outcome);
  if (kind == HandlerKind::kResource) {
    convertAndCall<PluginResourceEvent>(value, event.name, handler.resource);
  } else {
    convertAndCall<PluginServiceProxyResponse>(value, event.name, handler.serviceProxy);
  }
}

template <typename Record, typename Handler>
void PluginCore::convertAndCall(const BindingProperty& value, const char* eventName,
                                const Handler& handler) {
  Record record;
  BindingResult result;
  if (!convertToNative(result, value, record, "<result>", registry_)) {
    const String error = toString(result.error());
    trace("%s: Couldn't convert payload %s for event %s: %s", shortName_.c_str(),
          bindingTypeInfo<Record>().displayText, eventName, error.c_str());
    return;
  }
  trace("%s: Handling event %s", shortName_.c_str(), eventName);
  handler(record);
}

}  // namespace tev
