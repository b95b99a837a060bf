// The exported entry of the test plugin library.
#include "logging/module_log_setup.h"
#include "platform/host_boundary.h"
#include "plugin/plugin_entry.h"
#include "tests/plugin/test_plugin.h"

namespace {

tev::ModuleLogSetup gModuleLogSetup;

}  // namespace

extern "C" TEV_PLUGIN_EXPORT void load_tev_test_plugin(PluginDescriptor* descriptor) {
  tev::loadPlugin<plugintest::TestPlugin>(descriptor, "tev-test-plugin");
}
