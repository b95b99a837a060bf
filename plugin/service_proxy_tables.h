// The service-proxy tables: the latest message received per key, the requests waiting for one,
// and the handlers of unsolicited ("async") messages. One plain mutex guards all three and is
// held while their handlers run, so a handler must never call back into these tables.
#pragma once

#include <cstddef>
#include <mutex>
#include <string_view>

#include "platform/allocator.h"
#include "plugin/plugin_manager_types.h"
#include "plugin/shared_handler.h"

namespace tev {

using ServiceProxyHandler = SharedHandler<const PluginServiceProxyResponse&>;

// The key of a method-based message or async handler: "<serviceName>.<methodName>".
[[nodiscard]] String serviceProxyMethodKey(std::string_view serviceName,
                                           std::string_view methodName);

class ServiceProxyTables {
 public:
  // Every table starts with 8 buckets.
  ServiceProxyTables();

  // Stores the message under its uuid (replacing an earlier one), then runs the fulfilment pass.
  void handleUuidMessage(const PluginServiceProxyResponse& response, std::string_view shortName);
  // Stores the message under its method key (replacing an earlier one), then runs the pass.
  void handleMethodMessage(const PluginServiceProxyResponse& response, std::string_view shortName);
  // Calls the async handler of the message's method key, or logs at level 2 that there is none.
  void handleAsyncMessage(const PluginServiceProxyResponse& response, std::string_view shortName);

  // Finds the first stored message (in table order) whose key has a waiting request, calls that
  // request's handler with it, logs the fulfilment at level 3 and erases both entries. Fulfils at
  // most one request; returns whether it did.
  bool fulfil(std::string_view shortName);

  // Registers the handler waiting for the message of `key` (a uuid or a method key); it runs
  // on the next pass that finds a message for it, and only once. Replaces an earlier one.
  void addPendingRequest(std::string_view key, ServiceProxyHandler handler);
  // Registers the handler of the async messages of serviceName.methodName, replacing any other.
  void addAsyncHandler(std::string_view serviceName, std::string_view methodName,
                       ServiceProxyHandler handler);

  // Empties the three tables.
  void clear();

  [[nodiscard]] std::size_t responseCount() const;
  [[nodiscard]] std::size_t pendingCount() const;
  [[nodiscard]] std::size_t asyncHandlerCount() const;

 private:
  void store(String key, const PluginServiceProxyResponse& response);

  StringMap<PluginServiceProxyResponse> responses_;
  StringMap<ServiceProxyHandler> pending_;
  StringMap<ServiceProxyHandler> asyncHandlers_;
  mutable std::mutex mutex_;
};

}  // namespace tev
