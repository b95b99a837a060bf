// The name of the host event that announces changes of a resource, derived from its path in
// the same way the plugin derives the names it subscribes to. A pure function; use it for
// resource events only (service-proxy and other events have fixed names).
#pragma once

#include <string>
#include <string_view>

namespace tev::devhost {

// The generic resource event, also fired for every resource change.
inline constexpr char kJsonApiEvent[] = "OnJsonApiEvent";

// "OnJsonApiEvent" joined with "_" to the path's non-empty segments, keeping at most four
// entries (six when the first segment is "tev-platform-config"): "/tev-login/v1/session" gives
// "OnJsonApiEvent_tev-login_v1_session", "/" gives "OnJsonApiEvent".
std::string eventNameForResource(std::string_view path);

}  // namespace tev::devhost
