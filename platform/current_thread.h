// The identity of the calling thread as the operating system numbers it, for log lines and
// trace events. A plain number; it may be reused once the thread has ended.
#pragma once

#include <cstdint>

namespace tev::platform {

// The system's identifier of the calling thread (the kernel's thread id, not a library handle).
std::uint32_t currentThreadId();

}  // namespace tev::platform
