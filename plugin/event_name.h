// The host event name under which a resource's changes are announced: "OnJsonApiEvent" and the
// first segments of the resource path, joined by "_". Pure text work; the result is the
// caller's.
#pragma once

#include <string_view>

#include "platform/allocator.h"

namespace tev {

// The event name of the resource at `path`: the non-empty "/"-separated segments of the path
// after "OnJsonApiEvent", at most 6 entries in all when the first segment is
// "tev-platform-config" and at most 4 otherwise, joined by "_". "/" gives "OnJsonApiEvent";
// "/tev-login/v1/session/extra" gives 'OnJsonApiEvent_tev-login_v1_session'.
String EventNameForResource(std::string_view path);

}  // namespace tev
