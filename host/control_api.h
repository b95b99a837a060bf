// The host's control API under /devhost/v1/: resources listed, read, put (firing Create or
// Update) and deleted (firing Delete); arbitrary events delivered; the journal of events; the
// plugin's API description, status and memory statistics; and the embedded store's injected
// fault. This is how a developer simulates a logout, a disabled widget or a store outage.
// Owned by the host; its references outlive it.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "host/event_bus.h"
#include "host/host_api.h"
#include "host/http_reply.h"
#include "host/loaded_plugin.h"
#include "host/resource_store.h"
#include "host/store/store_service.h"

namespace tev::devhost {

inline constexpr char kControlPrefix[] = "/devhost/v1";

// How long a control request waits for its event to reach the plugin (a request in progress
// holds delivery back).
inline constexpr std::chrono::seconds kDeliveryWait{60};

struct ControlInfo {
  std::string pluginPath;
  std::string storeUrl;
  bool embeddedStore = false;
  std::string localUrl;
  std::string productVersion;
};

class ControlApi {
 public:
  ControlApi(ResourceStore& resources, EventBus& events, HostApi& host, LoadedPlugin& plugin,
             StoreService* store, ControlInfo info);

  // Answers `method` on `path` (below kControlPrefix; no query) with the request `body`.
  // `authority` is the request's Host header, already checked to be a loopback name: documents
  // that name the host's URL use it, so a page loaded from "localhost" calls "localhost".
  HttpReply handle(std::string_view method, std::string_view path, std::string_view body,
                   std::string_view authority = {});

  // Fires the resource event for a change of `path`, under its event name and under
  // "OnJsonApiEvent", and waits for delivery. Returns the number of handlers called, or -1
  // when delivery did not finish in time.
  int fireResourceEvent(const std::string& path, ResourceChange change, const nlohmann::json& data);

 private:
  HttpReply resources(std::string_view method, std::string_view path, std::string_view body);
  HttpReply events(std::string_view method, std::string_view name, std::string_view body);
  HttpReply storeFault(std::string_view method, std::string_view body);
  HttpReply storeCatalogue(std::string_view method, bool wallet);
  HttpReply status();
  nlohmann::json memory() const;

  ResourceStore& resources_;
  EventBus& events_;
  HostApi& host_;
  LoadedPlugin& plugin_;
  StoreService* store_;
  ControlInfo info_;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace tev::devhost
