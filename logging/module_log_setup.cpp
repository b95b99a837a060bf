#include "logging/module_log_setup.h"

#include "logging/log_api.h"
#include "platform/current_thread.h"

namespace tev {

ModuleLogSetup::ModuleLogSetup() : tracing_(platform::loadTraceFunctions()) {
  tracing_.load(platform::currentThreadId(), "Main thread");
  locGroup_ = logApi().groupFromName("LOC", nullptr);
}

ModuleLogSetup::~ModuleLogSetup() {
  tracing_.unload();
  platform::releaseTraceFunctions();
}

}  // namespace tev
