// The plugin's endpoints as an OpenAPI 3.1 document, derived from the API table it handed over
// at load, so it describes whatever plugin the host loaded: one operation per endpoint, its
// parameters from the argument locations, the body types the router decodes, the success value
// from the return type, the errors the router, the plugin and an upstream service can answer,
// and one schema per registered type. Built on request; reads the table like describeApi.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "platform/host_boundary.h"

namespace tev::devhost {

struct OpenApiSettings {
  std::string pluginName;      // the plugin's short name, the document's title
  std::string productVersion;  // the product's release number, info.version
  std::string serverUrl;       // where the host answers, e.g. "http://127.0.0.1:8400"
};

nlohmann::json openApiDocument(const PluginApiTable* table, const OpenApiSettings& settings);

// The name under #/components/schemas of a registered type: the name with every character
// outside [A-Za-z0-9._-] written as "_".
std::string schemaComponentName(const char* typeName);

// The content types a body argument is decoded from.
inline constexpr const char* kBodyContentTypes[] = {"application/json", "application/vnd.api+json",
                                                    "application/x-msgpack", "application/x-yaml"};

}  // namespace tev::devhost
