// The log target that hands every record the log accepts to the host's `log` function, with the
// record's level and message (the line pattern is not applied). Owned by the plugin object and
// bound to the host's function table, which must outlive it; it detaches itself when destroyed.
#pragma once

#include "logging/log_record.h"
#include "logging/log_target.h"
#include "platform/host_boundary.h"

namespace tev {

class PluginLogTarget final : public LogTarget {
 public:
  explicit PluginLogTarget(const HostPluginApi* api);
  ~PluginLogTarget() override;

  [[nodiscard]] const char* name() const override;
  // Calls the host's log with the record's level and message; returns true.
  bool write(const LogRecord& record) override;

 private:
  const HostPluginApi* api_;
};

}  // namespace tev
