// A small plugin built from the framework for the tests, loaded as a library of its own. Its
// feature follows two resources (a settings record and a pattern of items), remembers what it
// receives, and publishes endpoints through which a test host makes it subscribe, fetch, call
// outside URLs, publish events, post telemetry, wait for service-proxy messages and log.
#pragma once

#include <cstdint>

#include "binding/binding_property.h"
#include "binding/binding_type_info.h"
#include "platform/allocator.h"
#include "plugin/backend_plugin.h"
#include "plugin/plugin_manager_types.h"

namespace plugintest {

struct TestSettings {
  tev::String mode;
  std::int32_t level = 0;
};

class TestPlugin final : public tev::BackendPlugin {
 public:
  // The plugin handle for which Start reports failure.
  static constexpr std::uint32_t kRefusedHandle = 0xDEAD;

  void RegisterEndpoints() override;
  bool Start() override;

 private:
  void record(const char* source, const tev::String& uri, tev::PluginResourceEventType type,
              tev::BindingProperty data);
  void addEndpoint(std::uint32_t method, const char* path, bool takesBody,
                   tev::BindingProperty (TestPlugin::*handler)(const tev::BindingProperty&));

  tev::BindingProperty received(const tev::BindingProperty&);
  tev::BindingProperty state(const tev::BindingProperty&);
  tev::BindingProperty subscribe(const tev::BindingProperty& request);
  tev::BindingProperty unsubscribe(const tev::BindingProperty& request);
  tev::BindingProperty external(const tev::BindingProperty& request);
  tev::BindingProperty fetch(const tev::BindingProperty& request);
  tev::BindingProperty callWith(const tev::BindingProperty& request);
  tev::BindingProperty publish(const tev::BindingProperty& request);
  tev::BindingProperty telemetry(const tev::BindingProperty& request);
  tev::BindingProperty awaitServiceProxy(const tev::BindingProperty& request);
  tev::BindingProperty onAsyncServiceProxy(const tev::BindingProperty& request);
  tev::BindingProperty log(const tev::BindingProperty& request);

  tev::BindingProperty received_;
};

}  // namespace plugintest

TEV_BINDING_TYPE(plugintest::TestSettings);
