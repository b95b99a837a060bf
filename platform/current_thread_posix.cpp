#include "platform/current_thread.h"

#include <pthread.h>
#include <unistd.h>

#include <cstring>

#if defined(__linux__)
#include <sys/syscall.h>
#endif

namespace tev::platform {

std::uint32_t currentThreadId() {
#if defined(__linux__)
  // The kernel's number matches what debuggers and `top -H` show, as GetCurrentThreadId does.
  return static_cast<std::uint32_t>(::syscall(SYS_gettid));
#else
  const pthread_t self = pthread_self();
  std::uint32_t id = 0;
  std::memcpy(&id, &self, sizeof id < sizeof self ? sizeof id : sizeof self);
  return id;
#endif
}

}  // namespace tev::platform
