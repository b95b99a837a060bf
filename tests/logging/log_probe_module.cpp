// A module of its own for the shared-log test: built twice as a shared library, each copy with
// its own static copy of the log code, and loaded by the test process. Its functions are the
// test's only way in.
#include <cstdint>

#include "logging/internal/log_core.h"
#include "logging/log_api.h"
#include "logging/log_message.h"
#include "logging/log_target.h"
#include "platform/allocator.h"
#include "platform/process_wide_table.h"

namespace {

// A target defined in this module and registered with whatever log the process shares.
class CountingTarget final : public tev::LogTarget {
 public:
  CountingTarget() {
    enableWriteEntry();
    setLevel(tev::kLogLevelOkay);
  }
  ~CountingTarget() override { detach(); }
  const char* name() const override { return "ProbeTarget"; }
  bool write(const tev::LogRecord&) override {
    ++count;
    return true;
  }
  int count = 0;
};

CountingTarget* gTarget = nullptr;

}  // namespace

extern "C" {

// The table this module's logApi() settled on, and the module's own one.
const void* tevProbeLogApi() { return &tev::logApi(); }
const void* tevProbeOwnLogApi() { return &tev::log_internal::moduleLogApi(); }

// From now on this module cannot pin another one; call it before the module's first log use.
void tevProbeRefusePins() { tev::platform::refuseModulePinsForTesting(true); }

void tevProbeLog(const char* text) {
  tev::logMessage(tev::kLogLevelWarn, static_cast<std::uint32_t>(tev::kLogGroupTst), 0, "%s", text);
}

std::uint64_t tevProbeGroup(const char* name) { return tev::logApi().groupFromName(name, nullptr); }

void tevProbeRegisterTarget() {
  if (gTarget == nullptr) gTarget = tev::createObject<CountingTarget>();
  if (gTarget != nullptr) gTarget->registerTarget();
}

int tevProbeTargetCount() { return gTarget != nullptr ? gTarget->count : -1; }

void tevProbeDestroyTarget() {
  tev::destroyObject(gTarget);
  gTarget = nullptr;
}

}  // extern "C"
