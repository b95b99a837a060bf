#include "platform/event_trace.h"

namespace tev::platform {

// No system tracing of this kind here: every entry stays empty and callers do nothing.
TraceFunctions loadTraceFunctions() { return TraceFunctions{nullptr, nullptr, nullptr}; }

void releaseTraceFunctions() {}

}  // namespace tev::platform
