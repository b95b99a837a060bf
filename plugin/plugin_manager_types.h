// The host-defined records every plugin registers while loading: the plugin manager's state,
// resource events, Kest messages and service-proxy messages, and the five events that carry
// them. Plain native records, owned by whoever holds them; the descriptors belong to the
// registry they are registered in.
#pragma once

#include <cstdint>

#include "binding/binding_property.h"
#include "binding/binding_type_info.h"
#include "platform/allocator.h"

namespace tev {

class BindingRegistry;

enum class PluginManagerState : std::int32_t {
  NotReady = 0,
  PluginsInitialized = 1,
};

struct PluginManagerResource {
  PluginManagerState state = PluginManagerState::NotReady;
};

enum class PluginResourceEventType : std::int32_t {
  Create = 0,
  Update = 1,
  Delete = 2,
};

// A change of a resource on the host's local API.
struct PluginResourceEvent {
  String uri;  // the resource path, e.g. "/orvikclient/region-locale"
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  BindingProperty data;  // the resource's value
};

struct PluginKestEvent {
  String clientId;
  String subtopic;
  String typeName;
  BindingProperty body;
};

struct PluginKestResponse {
  String typeName;
  BindingProperty body;
};

struct PluginServiceProxyResponse {
  String uuid;
  String serviceName;
  String methodName;
  String payload;
  String status;
  String error;
};

// Registers, in this order, PluginManagerState, PluginManagerResource, PluginResourceEventType,
// PluginResourceEvent, PluginKestEvent, PluginKestResponse and PluginServiceProxyResponse (tag
// "oclient", no descriptions), then the events OnJsonApiEvent, OnKestEvent,
// OnServiceProxyUuidEvent, OnServiceProxyMethodEvent and OnServiceProxyAsyncEvent. Names that
// are registered already keep their first registration. Throws std::bad_alloc when memory runs
// out.
void registerPluginManagerTypes(BindingRegistry& registry);

}  // namespace tev

TEV_BINDING_TYPE(tev::PluginManagerState);
TEV_BINDING_TYPE(tev::PluginManagerResource);
TEV_BINDING_TYPE(tev::PluginResourceEventType);
TEV_BINDING_TYPE(tev::PluginResourceEvent);
TEV_BINDING_TYPE(tev::PluginKestEvent);
TEV_BINDING_TYPE(tev::PluginKestResponse);
TEV_BINDING_TYPE(tev::PluginServiceProxyResponse);
