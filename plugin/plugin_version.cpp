#include "plugin/plugin_version.h"

#include <tuple>

namespace tev {

PluginApiVersion pluginApiVersion() {
  PluginApiVersion version;
  version.major = 18;
  version.minor = 0;
  version.patch = 0;
  return version;
}

bool isCompatibleHostVersion(const PluginApiVersion& host,
                             const PluginApiVersion& plugin) noexcept {
  return host.major == plugin.major &&
         std::tie(host.minor, host.patch) >= std::tie(plugin.minor, plugin.patch);
}

}  // namespace tev
