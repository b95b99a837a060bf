// The plugin object a host drives: the loader with the version handshake, the three entry
// functions, and the forwarding of the host's functions. A feature derives from it and overrides
// RegisterEndpoints and Start. Created by loadPlugin (plugin/plugin_entry.h) and destroyed by the
// host's Shutdown; never create or destroy one otherwise.
#pragma once

#include <cstdint>

#include "logging/log_api.h"
#include "logging/plugin_api_version.h"
#include "platform/allocator.h"
#include "platform/host_boundary.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_identity.h"
#include "plugin/plugin_log_target.h"
#include "router/router.h"

namespace tev {

class BackendPlugin : public PluginCore {
 public:
  // Takes a reference on the process-wide log and creates the registry-and-router object with
  // the builtin types. Throws std::bad_alloc when memory runs out.
  BackendPlugin();
  ~BackendPlugin() override;

  // The host's functions, with the HostPluginApi table first. Before Initialize there is no host:
  // requests are answered with an error and everything else does nothing.
  void SendLocalRequest(HostLocalAnswer& response, const HostLocalRequest& request) override;
  void SendExternalRequest(HostExternalAnswer& response,
                           const HostExternalRequest& request) override;
  void FireEvent(const HostEvent& event) override;
  void AddEventHandler(const char* name, std::uint32_t handle, HostEventCallback callback,
                       void* context, std::uint32_t flag) override;
  void RemoveEventHandler(const char* name, std::uint32_t handle) override;
  void CallHostFunction5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double value,
                         std::uint32_t d) override;
  void Yield() override;
  void BeginWait(const char* label, std::uint32_t flag) override;
  void EndWait() override;

  // Registers the feature's types and endpoints while loading; does nothing here.
  virtual void RegisterEndpoints();
  // Starts the feature at the end of Initialize; its result is Initialize's. Returns true here.
  virtual bool Start();

  // The loader: checks the host's version (an incompatible host gets the fatal report
  // "ALE-EECF0606" and the process ends with nothing written), then sets up the identity, the
  // registration tags and the namespace name, registers the plugin-manager types, runs
  // RegisterEndpoints, has the API table built and fills the descriptor. Throws std::bad_alloc
  // when memory runs out; the descriptor is then left unfilled.
  void Load(PluginDescriptor& descriptor, const char* shortName);

  [[nodiscard]] const PluginApiVersion& hostVersion() const noexcept { return hostVersion_; }
  [[nodiscard]] const PluginIdentity& identity() const noexcept { return identity_; }
  [[nodiscard]] const String& namespaceName() const noexcept { return namespaceName_; }
  [[nodiscard]] const Vector<String>& registrationTags() const noexcept {
    return registrationTags_;
  }
  [[nodiscard]] Router& router() noexcept { return *router_; }
  // Null until Initialize, and for an instance that found another instance's target in place.
  [[nodiscard]] const PluginLogTarget* logTarget() const noexcept { return logTarget_.get(); }
  [[nodiscard]] const PluginEntryTable& entryTable() const noexcept { return entryTable_; }
  [[nodiscard]] const PluginApiTable& apiTable() const noexcept { return apiTable_; }

  // The PluginEntryTable functions; the context is the plugin object. Nothing is thrown.
  static std::uint8_t initializeEntry(void* context, const HostConnection* connection) noexcept;
  static void shutdownEntry(void* context) noexcept;
  static void memoryStatisticsEntry(void* context, MemoryStatistics* out) noexcept;

 protected:
  // Keeps the connection, routes the log to the host, builds the user agent, wires the event
  // machinery, then runs Start and returns its result.
  bool Initialize(const HostConnection& connection);

  // The host's table, or null before Initialize.
  [[nodiscard]] const HostPluginApi* hostApi() const noexcept { return connection_.api; }

 private:
  void routeLogToHost();

  LogReference logReference_;
  PluginApiVersion hostVersion_;
  UniquePtr<PluginLogTarget> logTarget_;
  PluginIdentity identity_;
  String namespaceName_;
  Vector<String> registrationTags_;
  UniquePtr<Router> router_;
  // A copy: the host's record need only live for the Initialize call.
  HostConnection connection_{};
  PluginEntryTable entryTable_;
  PluginApiTable apiTable_{};
};

}  // namespace tev
