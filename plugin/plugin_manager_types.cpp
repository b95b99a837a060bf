#include "plugin/plugin_manager_types.h"

#include <string_view>

#include "binding/binding_field_registration.h"
#include "binding/binding_registry.h"

namespace tev {
namespace {

constexpr std::string_view kHostTag = "oclient";

template <typename T>
BindingTypeBuilder registerHostType(BindingRegistry& registry, std::string_view name) {
  BindingTypeBuilder builder = registerBindingType<T>(registry, name);
  builder.addTag(kHostTag);
  return builder;
}

void registerHostEvent(BindingRegistry& registry, std::string_view name, std::string_view dataType,
                       std::string_view description) {
  registry.registerEvent(name, registry.findType(dataType))
      .addTag(kHostTag)
      .setDescription(description);
}

}  // namespace

void registerPluginManagerTypes(BindingRegistry& registry) {
  registerHostType<PluginManagerState>(registry, "PluginManagerState")
      .addEnumerator("NotReady", 0)
      .addEnumerator("PluginsInitialized", 1);
  {
    auto builder = registerHostType<PluginManagerResource>(registry, "PluginManagerResource");
    addBindingField(builder, "state", &PluginManagerResource::state);
  }
  registerHostType<PluginResourceEventType>(registry, "PluginResourceEventType")
      .addEnumerator("Create", 0)
      .addEnumerator("Update", 1)
      .addEnumerator("Delete", 2);
  {
    auto builder = registerHostType<PluginResourceEvent>(registry, "PluginResourceEvent");
    addBindingField(builder, "uri", &PluginResourceEvent::uri);
    addBindingField(builder, "eventType", &PluginResourceEvent::eventType);
    addBindingField(builder, "data", &PluginResourceEvent::data);
  }
  {
    auto builder = registerHostType<PluginKestEvent>(registry, "PluginKestEvent");
    addBindingField(builder, "clientId", &PluginKestEvent::clientId);
    addBindingField(builder, "subtopic", &PluginKestEvent::subtopic);
    addBindingField(builder, "typeName", &PluginKestEvent::typeName);
    addBindingField(builder, "body", &PluginKestEvent::body);
  }
  {
    auto builder = registerHostType<PluginKestResponse>(registry, "PluginKestResponse");
    addBindingField(builder, "typeName", &PluginKestResponse::typeName);
    addBindingField(builder, "body", &PluginKestResponse::body);
  }
  {
    auto builder =
        registerHostType<PluginServiceProxyResponse>(registry, "PluginServiceProxyResponse");
    addBindingField(builder, "uuid", &PluginServiceProxyResponse::uuid);
    addBindingField(builder, "serviceName", &PluginServiceProxyResponse::serviceName);
    addBindingField(builder, "methodName", &PluginServiceProxyResponse::methodName);
    addBindingField(builder, "payload", &PluginServiceProxyResponse::payload);
    addBindingField(builder, "status", &PluginServiceProxyResponse::status);
    addBindingField(builder, "error", &PluginServiceProxyResponse::error);
  }
  registerHostEvent(registry, "OnJsonApiEvent", "PluginResourceEvent",
                    "Fired when a resource is changed.");
  registerHostEvent(registry, "OnKestEvent", "PluginKestEvent",
                    "Fired when a message is received over the Kest connection.");
  registerHostEvent(registry, "OnServiceProxyUuidEvent", "PluginServiceProxyResponse",
                    "Fired when a uuid-based service proxy message is received.");
  registerHostEvent(registry, "OnServiceProxyMethodEvent", "PluginServiceProxyResponse",
                    "Fired when a method-based service proxy message is received.");
  registerHostEvent(registry, "OnServiceProxyAsyncEvent", "PluginServiceProxyResponse",
                    "Fired when an async service proxy message is received.");
}

}  // namespace tev
