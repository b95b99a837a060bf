// What a module of the plugin family does with logging when its library is loaded and unloaded:
// at load it registers its event-tracing providers (announcing the loading thread as "Main
// thread") and the log group "LOC"; at unload it unregisters the providers. Define exactly one
// static instance in the module's entry file; do not create others.
#pragma once

#include <cstdint>

#include "logging/event_tracing.h"

namespace tev {

class ModuleLogSetup {
 public:
  ModuleLogSetup();
  ~ModuleLogSetup();
  ModuleLogSetup(const ModuleLogSetup&) = delete;
  ModuleLogSetup& operator=(const ModuleLogSetup&) = delete;

  // The bit of the group "LOC".
  [[nodiscard]] std::uint64_t locGroup() const noexcept { return locGroup_; }
  [[nodiscard]] const EventTracing& tracing() const noexcept { return tracing_; }

 private:
  EventTracing tracing_;
  std::uint64_t locGroup_ = 0;
};

}  // namespace tev
