// What a plugin library's exported entry does: create the plugin object through the allocation
// hooks and run its loader. The object then belongs to the host, which ends it with Shutdown.
// Use once per exported entry; the entry file also defines the module's ModuleLogSetup.
#pragma once

#include <type_traits>

#include "platform/allocator.h"
#include "platform/host_boundary.h"
#include "plugin/backend_plugin.h"

namespace tev {

// Creates a Plugin and loads it with `descriptor` and `shortName`. When the object cannot be
// created or loading runs out of memory, the descriptor's outputs stay unfilled and nothing is
// left behind. An incompatible host ends the process (see BackendPlugin::Load).
template <typename Plugin>
void loadPlugin(PluginDescriptor* descriptor, const char* shortName) noexcept {
  static_assert(std::is_base_of_v<BackendPlugin, Plugin>, "plugins derive from BackendPlugin");
  if (descriptor == nullptr) return;
  Plugin* plugin = nullptr;
  try {
    plugin = createObject<Plugin>();
  } catch (...) {
    return;
  }
  if (plugin == nullptr) return;
  try {
    plugin->Load(*descriptor, shortName);
  } catch (...) {
    destroyObject(plugin);
  }
}

}  // namespace tev
