// The entry of the plugin library the host loads. The feature's issue swaps the plugin class
// named here for its own; nothing else in the library's entry changes.
#include "logging/module_log_setup.h"
#include "platform/host_boundary.h"
#include "plugin/backend_plugin.h"
#include "plugin/plugin_entry.h"

namespace {

// Registers the event-tracing providers and the log group "LOC" when the library is loaded and
// unregisters the providers when it is unloaded.
tev::ModuleLogSetup gModuleLogSetup;

using LibraryPlugin = tev::BackendPlugin;

}  // namespace

extern "C" TEV_PLUGIN_EXPORT void load_tev_purchase_widget(PluginDescriptor* descriptor) {
  tev::loadPlugin<LibraryPlugin>(descriptor, "tev-purchase-widget");
}
