// The development host as a whole: the embedded store (unless a store URL is given), the
// host's resources, the plugin loaded and initialised with the host's function table, and the
// local API on 127.0.0.1 that serves the plugin's endpoints, the resources and the control API.
// start() once, stop() once (also from the destructor); not copyable.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "host/control_api.h"
#include "host/endpoint_table.h"
#include "host/event_bus.h"
#include "host/external_client.h"
#include "host/host_api.h"
#include "host/host_log.h"
#include "host/host_options.h"
#include "host/http/event_stream.h"
#include "host/loaded_plugin.h"
#include "host/plugin_gate.h"
#include "host/resource_store.h"
#include "host/store/store_catalogue.h"
#include "host/store/store_service.h"
#include "host/web_files.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tev::devhost {

// The handle the host gives the plugin at Initialize.
inline constexpr std::uint32_t kPluginHandle = 1;

class DevHost {
 public:
  explicit DevHost(HostOptions options);
  ~DevHost();
  DevHost(const DevHost&) = delete;
  DevHost& operator=(const DevHost&) = delete;

  // Starts everything and prints the URLs. Returns false with `error` when the store, the
  // resources, the plugin or the port fail; what was started is stopped again.
  [[nodiscard]] bool start(std::string& error);
  // Stops the local API (letting requests finish), delivers queued events, shuts the plugin
  // down and stops the store.
  void stop();

  int port() const { return port_; }
  const std::string& storeUrl() const { return storeUrl_; }

  // The default resources for a store at `storeUrl` and the player `account`: the platform
  // configuration (enabled, with the store's base URL), a logged-in session with the account's
  // token, and the locale "en_US".
  static nlohmann::json defaultResources(const std::string& storeUrl, const StoreAccount& account);
  // Replaces "{{storeUrl}}" in every text of `value`.
  static void substituteStoreUrl(nlohmann::json& value, const std::string& storeUrl);

 private:
  [[nodiscard]] bool startStore(std::string& error);
  [[nodiscard]] bool loadResources(std::string& error);
  [[nodiscard]] bool loadPlugin(std::string& error);
  [[nodiscard]] bool startLocalApi(std::string& error);
  void printWelcome();
  // Whether a Host header (or an origin's authority) names this host on loopback.
  bool isLocalAuthority(std::string_view authority) const;
  void serve(const httplib::Request& request, httplib::Response& response);
  bool servePlugin(const httplib::Request& request, httplib::Response& response,
                   std::string_view path);

  HostOptions options_;
  HostLog log_;
  PluginGate gate_;
  ResourceStore resources_;
  StoreCatalogue catalogue_;
  std::unique_ptr<StoreService> store_;
  std::string storeUrl_;
  ExternalClient external_;
  EventBus events_;
  HostApi hostApi_;
  LoadedPlugin plugin_;
  HostConnection connection_{};
  EndpointTable endpoints_;
  std::unique_ptr<ControlApi> control_;
  WebFiles web_;
  std::unique_ptr<EventStream> eventStream_;
  std::unique_ptr<httplib::Server> server_;
  std::thread serverThread_;
  int port_ = 0;
  bool started_ = false;
  bool stopped_ = false;
};

}  // namespace tev::devhost
