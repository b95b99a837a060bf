// The entry of the plugin library the host loads, with the purchase widget as its plugin object.
#include "logging/module_log_setup.h"
#include "platform/host_boundary.h"
#include "plugin/plugin_entry.h"
#include "purchase_widget/purchase_widget_plugin.h"

namespace {

// Registers the event-tracing providers and the log group "LOC" when the library is loaded and
// unregisters the providers when it is unloaded.
tev::ModuleLogSetup gModuleLogSetup;

}  // namespace

extern "C" TEV_PLUGIN_EXPORT void load_tev_purchase_widget(PluginDescriptor* descriptor) {
  tev::loadPlugin<tev::PurchaseWidgetPlugin>(descriptor, "tev-purchase-widget");
}
