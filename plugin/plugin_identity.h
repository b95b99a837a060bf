// Who the plugin is to the plugin manager: its full name, short name, plugin type and type
// qualifier, and the rule that derives the full name. Plain values.
#pragma once

#include <string_view>

#include "platform/allocator.h"

namespace tev {

struct PluginIdentity {
  String fullName;   // "kpm-be-tev-purchase-widget"
  String shortName;  // "tev-purchase-widget"
  String type;       // "backend"
  String qualifier;  // empty
};

// "kpm-be-" for the type "backend", "kpm-fe-" for "frontend" (exact comparison), followed by the
// short name. Any other type gives "kpm-xx-" and logs an error line saying so.
[[nodiscard]] String GetFullNameFromShortNameAndType(std::string_view shortName,
                                                     std::string_view type);

// The identity of a plugin with that short name, type and qualifier.
[[nodiscard]] PluginIdentity makePluginIdentity(std::string_view shortName, std::string_view type,
                                                std::string_view qualifier);

}  // namespace tev
