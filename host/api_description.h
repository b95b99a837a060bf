// The plugin's API as JSON, read from the API table it handed over at load: its endpoints with
// their functions and arguments, its types with fields or enumerators, and its events. Built on
// request; reads the table without locks, so only while the plugin is loaded and not rebuilding.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "platform/host_boundary.h"

namespace tev::devhost {

// {"plugin", "endpoints": [...], "types": [...], "events": [...]}; type codes are written by
// their builtin names ("bool" ... "map").
nlohmann::json describeApi(const PluginApiTable* table, const std::string& shortName);

// The builtin name of a type code, "" for codes outside 1 to 19.
const char* builtinTypeName(std::uint32_t code);

}  // namespace tev::devhost
