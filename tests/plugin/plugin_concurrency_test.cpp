// The service-proxy tables and the host log target used from several host threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "logging/log_api.h"
#include "logging/log_message.h"
#include "logging/log_record.h"
#include "logging/log_target.h"
#include "plugin/plugin_log_target.h"
#include "plugin/service_proxy_tables.h"

namespace tev {
namespace {

constexpr int kThreads = 4;
constexpr int kPerThread = 200;

TEST(ServiceProxyConcurrency, EveryRequestIsFulfilledExactlyOnce) {
  ServiceProxyTables tables;
  std::vector<std::atomic<int>> fulfilled(kThreads * kPerThread);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&tables, &fulfilled, t] {
      for (int i = 0; i < kPerThread; ++i) {
        const int id = t * kPerThread + i;
        const String key = String("u-") + String(std::to_string(id).c_str());
        // Half the messages come before their request, half after.
        PluginServiceProxyResponse message;
        message.uuid = key;
        if (i % 2 == 0) tables.handleUuidMessage(message, "t");
        tables.addPendingRequest(
            key, ServiceProxyHandler::make([&fulfilled, id](const PluginServiceProxyResponse&) {
              fulfilled[id].fetch_add(1);
            }));
        if (i % 2 == 1) tables.handleUuidMessage(message, "t");
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  // Each pass fulfils one request; whatever is left is fulfilled by further passes.
  while (tables.fulfil("t")) {
  }
  for (int id = 0; id < kThreads * kPerThread; ++id) EXPECT_EQ(fulfilled[id].load(), 1) << id;
  EXPECT_EQ(tables.pendingCount(), 0u);
  EXPECT_EQ(tables.responseCount(), 0u);
}

std::atomic<int> gHostLogCalls{0};

void countLog(const HostPluginApi*, std::int32_t, const char* message) {
  if (message != nullptr) gHostLogCalls.fetch_add(1);
}

TEST(PluginLogTargetConcurrency, EveryRecordReachesTheHostOnce) {
  const LogReference log;
  HostPluginApi api{};
  api.log = &countLog;
  PluginLogTarget target(&api);
  LogTargetConfig config;
  config.level = kLogLevelOkay;
  target.configure(config);
  gHostLogCalls = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < kPerThread; ++i) {
        logMessage(kLogLevelError, static_cast<std::uint32_t>(kLogGroupTst), 0, "record %d", i);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(gHostLogCalls.load(), kThreads * kPerThread);
}

}  // namespace
}  // namespace tev
