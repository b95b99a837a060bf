#include "plugin/service_proxy_tables.h"

#include <utility>

#include "logging/format_message.h"
#include "logging/log_message.h"
#include "logging/log_record.h"

namespace tev {
namespace {

constexpr std::uint32_t kDbgLow = static_cast<std::uint32_t>(kLogGroupDbg);

}  // namespace

String serviceProxyMethodKey(std::string_view serviceName, std::string_view methodName) {
  return formatMessage("%1.%2", toString(serviceName), toString(methodName));
}

ServiceProxyTables::ServiceProxyTables() : responses_(8), pending_(8), asyncHandlers_(8) {}

void ServiceProxyTables::store(String key, const PluginServiceProxyResponse& response) {
  const std::lock_guard<std::mutex> lock(mutex_);
  responses_.insert_or_assign(std::move(key), response);
}

void ServiceProxyTables::handleUuidMessage(const PluginServiceProxyResponse& response,
                                           std::string_view shortName) {
  store(response.uuid, response);
  static_cast<void>(fulfil(shortName));
}

void ServiceProxyTables::handleMethodMessage(const PluginServiceProxyResponse& response,
                                             std::string_view shortName) {
  store(serviceProxyMethodKey(response.serviceName, response.methodName), response);
  static_cast<void>(fulfil(shortName));
}

void ServiceProxyTables::handleAsyncMessage(const PluginServiceProxyResponse& response,
                                            std::string_view shortName) {
  const String key = serviceProxyMethodKey(response.serviceName, response.methodName);
  const String name = toString(shortName);
  const std::lock_guard<std::mutex> lock(mutex_);
  auto handler = asyncHandlers_.find(std::string_view(key));
  if (handler != asyncHandlers_.end()) {
    handler->second(response);
  } else {
    logMessage(kLogLevelError, kDbgLow, 0,
               "%s: Could not find registered handler for async service proxy event %s",
               name.c_str(), key.c_str());
  }
}

bool ServiceProxyTables::fulfil(std::string_view shortName) {
  const String name = toString(shortName);
  const std::lock_guard<std::mutex> lock(mutex_);
  for (auto response = responses_.begin(); response != responses_.end(); ++response) {
    auto pending = pending_.find(std::string_view(response->first));
    if (pending == pending_.end()) continue;
    pending->second(response->second);
    logMessage(kLogLevelAlways, kDbgLow, 0, "%s: Fulfilled service proxy request: %s", name.c_str(),
               response->first.c_str());
    pending_.erase(pending);
    responses_.erase(response);
    return true;
  }
  return false;
}

void ServiceProxyTables::addPendingRequest(std::string_view key, ServiceProxyHandler handler) {
  const std::lock_guard<std::mutex> lock(mutex_);
  pending_.insert_or_assign(toString(key), std::move(handler));
}

void ServiceProxyTables::addAsyncHandler(std::string_view serviceName, std::string_view methodName,
                                         ServiceProxyHandler handler) {
  String key = serviceProxyMethodKey(serviceName, methodName);
  const std::lock_guard<std::mutex> lock(mutex_);
  asyncHandlers_.insert_or_assign(std::move(key), std::move(handler));
}

void ServiceProxyTables::clear() {
  const std::lock_guard<std::mutex> lock(mutex_);
  responses_.clear();
  pending_.clear();
  asyncHandlers_.clear();
}

std::size_t ServiceProxyTables::responseCount() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return responses_.size();
}

std::size_t ServiceProxyTables::pendingCount() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return pending_.size();
}

std::size_t ServiceProxyTables::asyncHandlerCount() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return asyncHandlers_.size();
}

}  // namespace tev
