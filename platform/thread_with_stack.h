// Runs a function on a new operating-system thread with a stack of a chosen size and waits for
// it. std::thread cannot choose a stack size; the stack-depth tests of the readers need one.
#pragma once

#include <cstddef>

namespace tev::platform {

using ThreadBody = void (*)(void* argument);

// Runs body(argument) on a fresh thread whose stack is `stackBytes` (rounded up as the system
// requires) and joins it. Returns false when the thread could not be created; body did not run.
[[nodiscard]] bool runOnThreadWithStack(std::size_t stackBytes, ThreadBody body, void* argument);

// Convenience form for any callable; the callable lives on the caller's stack until the join.
template <typename F>
[[nodiscard]] bool runWithStack(std::size_t stackBytes, F&& function) {
  return runOnThreadWithStack(
      stackBytes, [](void* p) { (*static_cast<F*>(p))(); },
      const_cast<void*>(static_cast<const void*>(&function)));
}

}  // namespace tev::platform
