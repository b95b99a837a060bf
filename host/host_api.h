// The host's function table as the plugin sees it (HostPluginApi): local requests answered from
// the host's resources, its telemetry sink and the plugin's own endpoints; external requests
// over real HTTP; events through the EventBus; yield and waits; and the plugin's log records on
// the console. One per host, alive until after the plugin's Shutdown; every function may be
// called from any thread. Answers stay valid until the plugin calls their release function.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "host/endpoint_table.h"
#include "host/event_bus.h"
#include "host/external_client.h"
#include "host/host_log.h"
#include "host/plugin_gate.h"
#include "host/resource_store.h"
#include "platform/host_boundary.h"

namespace tev::devhost {

struct LocalAnswerStorage;

// Resources whose JSON text is longer than this are answered as a stream.
inline constexpr std::size_t kStreamThreshold = 32 * 1024;
// A streamed answer's pieces end every this many bytes, so that the plugin meets short reads
// with more to follow, as with a producer that has only part of the text ready.
inline constexpr std::size_t kStreamSegment = 10000;
// The telemetry sink's path prefix.
inline constexpr char kTelemetryPath[] = "/telemetry/v1/events/";

class HostApi {
 public:
  HostApi(HostLog& log, PluginGate& gate, EventBus& events, ResourceStore& resources,
          const ExternalClient& external);
  ~HostApi();
  HostApi(const HostApi&) = delete;
  HostApi& operator=(const HostApi&) = delete;

  const HostPluginApi* table() const { return &table_.api; }
  // The plugin's endpoints, for local requests; set after load, cleared before Shutdown.
  void setEndpoints(const EndpointTable* endpoints);
  void setPluginName(std::string name) { pluginName_ = std::move(name); }

  // Calls of each host function and related counts, by name.
  nlohmann::json counters() const;

 private:
  struct Table {
    HostPluginApi api;  // first: the plugin passes its address back
    HostApi* self;
  };

  static HostApi& from(const HostPluginApi* api);
  static void sendLocalRequest(const HostPluginApi* api, HostLocalAnswer* answer,
                               const HostLocalRequest* request);
  static void sendExternalRequest(const HostPluginApi* api, HostExternalAnswer* answer,
                                  const HostExternalRequest* request);
  static void fireEvent(const HostPluginApi* api, const HostEvent* event);
  static void addEventHandler(const HostPluginApi* api, const char* name, std::uint32_t handle,
                              HostEventCallback callback, void* context, std::uint32_t flag);
  static void removeEventHandler(const HostPluginApi* api, const char* name, std::uint32_t handle);
  static void function5(const HostPluginApi* api, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                        double value, std::uint32_t d);
  static void yield(const HostPluginApi* api);
  static void beginWait(const HostPluginApi* api, const char* label, std::uint32_t flag);
  static void endWait(const HostPluginApi* api);
  static void log(const HostPluginApi* api, std::int32_t level, const char* message);
  static std::uint8_t readStream(void* context, char* buffer, std::uint32_t* length,
                                 std::uint8_t* more);
  static void releaseStream(void* context);
  static void releaseLocalAnswer(HostLocalAnswer* answer);
  static void releaseExternalAnswer(HostExternalAnswer* answer);

  void answerLocal(HostLocalAnswer& answer, const HostLocalRequest& request,
                   LocalAnswerStorage& storage);
  bool answerFromEndpoint(HostLocalAnswer& answer, const HostLocalRequest& request,
                          std::string_view path, LocalAnswerStorage& storage);
  void answerExternal(const HostExternalRequest& request, ExternalOutcome& outcome);

  Table table_;
  HostLog& log_;
  PluginGate& gate_;
  EventBus& events_;
  ResourceStore& resources_;
  const ExternalClient& external_;
  std::atomic<const EndpointTable*> endpoints_{nullptr};
  std::string pluginName_ = "plugin";

  std::atomic<std::uint64_t> localRequests_{0};
  std::atomic<std::uint64_t> streamedAnswers_{0};
  std::atomic<std::uint64_t> streamReads_{0};
  std::atomic<std::uint64_t> externalRequests_{0};
  std::atomic<std::uint64_t> externalFailures_{0};
  std::atomic<std::uint64_t> eventsFired_{0};
  std::atomic<std::uint64_t> handlersAdded_{0};
  std::atomic<std::uint64_t> handlersRemoved_{0};
  std::atomic<std::uint64_t> yields_{0};
  std::atomic<std::uint64_t> waits_{0};
  std::atomic<std::uint64_t> waitEnds_{0};
  std::atomic<std::uint64_t> function5Calls_{0};
  std::atomic<std::uint64_t> logRecords_{0};
  std::atomic<std::uint64_t> telemetry_{0};
};

}  // namespace tev::devhost
