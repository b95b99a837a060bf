#include "platform/thread_with_stack.h"

#include <pthread.h>

#include <climits>

namespace tev::platform {
namespace {

struct Start {
  ThreadBody body;
  void* argument;
};

void* trampoline(void* p) {
  auto* start = static_cast<Start*>(p);
  start->body(start->argument);
  return nullptr;
}

}  // namespace

bool runOnThreadWithStack(std::size_t stackBytes, ThreadBody body, void* argument) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  const auto minimum = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  if (stackBytes < minimum) stackBytes = minimum;
  if (pthread_attr_setstacksize(&attributes, stackBytes) != 0) {
    pthread_attr_destroy(&attributes);
    return false;
  }
  Start start{body, argument};
  pthread_t thread;
  const int created = pthread_create(&thread, &attributes, &trampoline, &start);
  pthread_attr_destroy(&attributes);
  if (created != 0) return false;
  return pthread_join(thread, nullptr) == 0;
}

}  // namespace tev::platform
