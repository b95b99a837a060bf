#include "plugin/plugin_log_target.h"

namespace tev {

PluginLogTarget::PluginLogTarget(const HostPluginApi* api) : api_(api) { enableWriteEntry(); }

// The log may be delivering a record right now; detach waits for that before the host table
// pointer goes.
PluginLogTarget::~PluginLogTarget() { detach(); }

const char* PluginLogTarget::name() const { return "PluginLogTarget"; }

bool PluginLogTarget::write(const LogRecord& record) {
  if (api_ != nullptr && api_->log != nullptr) api_->log(api_, record.level, record.message);
  return true;
}

}  // namespace tev
