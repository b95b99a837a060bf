// The plugin API version this framework speaks and the rule by which a host's version is
// accepted. Plain values.
#pragma once

#include "logging/plugin_api_version.h"

namespace tev {

// 18.0.0, without prerelease or build text.
[[nodiscard]] PluginApiVersion pluginApiVersion();

// True when the majors are equal and (minor, patch) of the host is not below the plugin's;
// prerelease and build take no part. Against 18.0.0 that is any host of major version 18.
[[nodiscard]] bool isCompatibleHostVersion(const PluginApiVersion& host,
                                           const PluginApiVersion& plugin) noexcept;

}  // namespace tev
