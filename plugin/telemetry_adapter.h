// Posts telemetry events to the host's local API on behalf of the plugin object that owns the
// adapter. The adapter holds a reference to that plugin and must not outlive it.
#pragma once

#include <future>
#include <string_view>

#include "plugin/plugin_core.h"
#include "plugin/remoting_error.h"

namespace tev {

class TelemetryAdapter {
 public:
  explicit TelemetryAdapter(PluginCore& plugin) noexcept : plugin_(plugin) {}
  virtual ~TelemetryAdapter();
  TelemetryAdapter(const TelemetryAdapter&) = delete;
  TelemetryAdapter& operator=(const TelemetryAdapter&) = delete;

  // POSTs `payload` as the parameters of "/telemetry/v1/events/<eventName>" and returns a future
  // that is already ready with the call's result (success, or the remote-call error).
  [[nodiscard]] virtual std::future<RemoteCallResult<>> SendTelemetry(std::string_view eventName,
                                                                      const ParameterMap& payload);

 private:
  PluginCore& plugin_;
};

}  // namespace tev
