#include "platform/current_thread.h"

#include <windows.h>

namespace tev::platform {

std::uint32_t currentThreadId() { return GetCurrentThreadId(); }

}  // namespace tev::platform
