#include "plugin/telemetry_adapter.h"

#include <memory>

#include "platform/allocator.h"

namespace tev {

TelemetryAdapter::~TelemetryAdapter() = default;

std::future<RemoteCallResult<>> TelemetryAdapter::SendTelemetry(std::string_view eventName,
                                                                const ParameterMap& payload) {
  // The promise's shared state comes from the allocation hooks like everything else.
  std::promise<RemoteCallResult<>> promise(std::allocator_arg, Allocator<char>());
  std::future<RemoteCallResult<>> future = promise.get_future();
  String target("/telemetry/v1/events/");
  target.append(eventName);
  promise.set_value(plugin_.callWithParameters(HttpMethod::kPost, target, payload));
  return future;
}

}  // namespace tev
