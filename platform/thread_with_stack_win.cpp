#include "platform/thread_with_stack.h"

#include <process.h>
#include <windows.h>

namespace tev::platform {
namespace {

struct Start {
  ThreadBody body;
  void* argument;
};

unsigned __stdcall trampoline(void* p) {
  auto* start = static_cast<Start*>(p);
  start->body(start->argument);
  return 0;
}

}  // namespace

bool runOnThreadWithStack(std::size_t stackBytes, ThreadBody body, void* argument) {
  Start start{body, argument};
  // STACK_SIZE_PARAM_IS_A_RESERVATION makes the size the whole reserve, not just the commit.
  const uintptr_t handle = _beginthreadex(nullptr, static_cast<unsigned>(stackBytes), &trampoline,
                                          &start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (handle == 0) return false;
  HANDLE thread = reinterpret_cast<HANDLE>(handle);
  const DWORD waited = WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return waited == WAIT_OBJECT_0;
}

}  // namespace tev::platform
