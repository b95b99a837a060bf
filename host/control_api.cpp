#include "host/control_api.h"

#include <future>
#include <vector>

#include "host/api_description.h"
#include "host/event_name.h"
#include "host/host_value_json.h"
#include "host/openapi_document.h"
#include "host/store/catalogue_view.h"

namespace tev::devhost {
namespace {

using nlohmann::json;

constexpr char kSessionResource[] = "/tev-login/v1/session";
constexpr char kLocaleResource[] = "/orvikclient/region-locale";

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

HttpReply methodNotAllowed(std::string_view allowed) {
  HttpReply reply = HttpReply::error(405, "Method not allowed; use " + std::string(allowed));
  reply.headers.emplace_back("Allow", std::string(allowed));
  return reply;
}

// An empty body is a null value.
bool bodyJson(std::string_view body, json& out, std::string& error) {
  if (body.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    out = nullptr;
    return true;
  }
  return parseJson(body, out, error);
}

int waitAll(std::vector<std::future<int>>& pending) {
  int called = 0;
  const auto deadline = std::chrono::steady_clock::now() + kDeliveryWait;
  for (std::future<int>& done : pending) {
    if (done.wait_until(deadline) != std::future_status::ready) return -1;
    called += done.get();
  }
  return called;
}

}  // namespace

ControlApi::ControlApi(ResourceStore& resources, EventBus& events, HostApi& host,
                       LoadedPlugin& plugin, StoreService* store, ControlInfo info)
    : resources_(resources),
      events_(events),
      host_(host),
      plugin_(plugin),
      store_(store),
      info_(std::move(info)),
      started_(std::chrono::steady_clock::now()) {}

HttpReply ControlApi::handle(std::string_view method, std::string_view path, std::string_view body,
                             std::string_view authority) {
  if (path == "/resources" || startsWith(path, "/resources/")) {
    return resources(method, path.substr(std::string_view("/resources").size()), body);
  }
  if (path == "/events" || startsWith(path, "/events/")) {
    return events(method, path.substr(std::min(path.size(), std::string_view("/events/").size())),
                  body);
  }
  if (path == "/store/fault") return storeFault(method, body);
  if (path == "/store/catalogue" || path == "/store/wallet") {
    return storeCatalogue(method, path == "/store/wallet");
  }
  const bool get = method == "GET" || method == "HEAD";
  if (path == "/api") {
    if (!get) return methodNotAllowed("GET");
    return HttpReply::json(200, describeApi(plugin_.apiTable(), plugin_.shortName()));
  }
  if (path == "/openapi.json") {
    if (!get) return methodNotAllowed("GET");
    OpenApiSettings settings;
    settings.pluginName = plugin_.shortName();
    settings.productVersion = info_.productVersion;
    settings.serverUrl = authority.empty() ? info_.localUrl : "http://" + std::string(authority);
    while (!settings.serverUrl.empty() && settings.serverUrl.back() == '/') {
      settings.serverUrl.pop_back();
    }
    return HttpReply::json(200, openApiDocument(plugin_.apiTable(), settings));
  }
  if (path == "/status") {
    if (!get) return methodNotAllowed("GET");
    return status();
  }
  if (path == "/memory") {
    if (!get) return methodNotAllowed("GET");
    return HttpReply::json(200, memory());
  }
  return HttpReply::error(
      404, "No control endpoint at " + std::string(kControlPrefix) + std::string(path));
}

int ControlApi::fireResourceEvent(const std::string& path, ResourceChange change,
                                  const json& data) {
  const json payload = {{"uri", path}, {"eventType", resourceChangeName(change)}, {"data", data}};
  const std::string name = eventNameForResource(path);
  std::vector<std::future<int>> pending;
  pending.push_back(events_.post(name, payload, 0, "host"));
  if (name != kJsonApiEvent) pending.push_back(events_.post(kJsonApiEvent, payload, 0, "host"));
  return waitAll(pending);
}

HttpReply ControlApi::resources(std::string_view method, std::string_view rest,
                                std::string_view body) {
  if (rest.empty() || rest == "/") {
    if (method != "GET" && method != "HEAD") return methodNotAllowed("GET");
    return HttpReply::json(200, resources_.list());
  }
  const std::string path = ResourceStore::normalize(rest);
  if (method == "GET" || method == "HEAD") {
    const std::optional<json> value = resources_.get(path);
    if (!value) return HttpReply::error(404, "No resource at " + path);
    return HttpReply::json(200, *value);
  }
  ResourceChange change = ResourceChange::kDelete;
  json data;
  if (method == "PUT") {
    std::string error;
    if (!bodyJson(body, data, error))
      return HttpReply::error(400, "The body is not JSON: " + error);
    change = resources_.put(path, data);
  } else if (method == "DELETE") {
    if (!resources_.remove(path)) return HttpReply::error(404, "No resource at " + path);
  } else {
    return methodNotAllowed("GET, PUT, DELETE");
  }
  const int handlers = fireResourceEvent(path, change, data);
  json answer = {{"uri", path},
                 {"eventType", resourceChangeName(change)},
                 {"eventName", eventNameForResource(path)},
                 {"delivered", handlers >= 0},
                 {"handlers", handlers >= 0 ? handlers : 0}};
  return HttpReply::json(handlers < 0                        ? 202
                         : change == ResourceChange::kCreate ? 201
                                                             : 200,
                         answer);
}

HttpReply ControlApi::events(std::string_view method, std::string_view name,
                             std::string_view body) {
  if (name.empty()) {
    if (method != "GET" && method != "HEAD") return methodNotAllowed("GET");
    return HttpReply::json(200, {{"events", events_.journal()}, {"handlers", events_.handlers()}});
  }
  if (method != "POST") return methodNotAllowed("POST");
  json payload;
  std::string error;
  if (!bodyJson(body, payload, error))
    return HttpReply::error(400, "The body is not JSON: " + error);
  std::vector<std::future<int>> pending;
  pending.push_back(events_.post(std::string(name), std::move(payload), 0, "control"));
  const int handlers = waitAll(pending);
  return HttpReply::json(
      handlers < 0 ? 202 : 200,
      {{"name", name}, {"delivered", handlers >= 0}, {"handlers", handlers >= 0 ? handlers : 0}});
}

HttpReply ControlApi::storeFault(std::string_view method, std::string_view body) {
  if (store_ == nullptr) {
    return HttpReply::error(409, "No embedded store: the host was started with --store-url");
  }
  if (method == "GET" || method == "HEAD")
    return HttpReply::json(200, {{"fault", store_->fault()}});
  if (method == "DELETE") {
    store_->clearFault();
    return HttpReply::json(200, {{"fault", nullptr}});
  }
  if (method != "PUT") return methodNotAllowed("GET, PUT, DELETE");
  json value;
  std::string error;
  StoreFault fault;
  if (!bodyJson(body, value, error) || !StoreFault::fromJson(value, fault, error)) {
    return HttpReply::error(400, "Not a store fault: " + error);
  }
  store_->setFault(fault);
  return HttpReply::json(200, {{"fault", store_->fault()}});
}

HttpReply ControlApi::storeCatalogue(std::string_view method, bool wallet) {
  if (method != "GET" && method != "HEAD") return methodNotAllowed("GET");
  if (store_ == nullptr) {
    return HttpReply::error(409, "No embedded store: the host was started with --store-url");
  }
  const StoreCatalogue& catalogue = store_->catalogue();
  if (wallet) {
    const std::optional<json> session = resources_.get(kSessionResource);
    std::optional<json> found;
    if (session) found = walletForSession(catalogue, *session);
    if (!found) {
      return HttpReply::error(404, "No wallet: the session resource " +
                                       std::string(kSessionResource) +
                                       " holds no token of a store account");
    }
    return HttpReply::json(200, *found);
  }
  // Names in the player's language, as the store's validation answers them.
  std::string language = catalogue.defaultLanguage();
  const std::optional<json> locale = resources_.get(kLocaleResource);
  if (locale && locale->is_object() && locale->contains("locale") &&
      (*locale)["locale"].is_string() &&
      !(*locale)["locale"].get_ref<const std::string&>().empty()) {
    language = (*locale)["locale"].get<std::string>();
  }
  return HttpReply::json(200, catalogueView(catalogue, language, currentUtcText()));
}

json ControlApi::memory() const {
  const MemoryStatistics stats = plugin_.memoryStatistics();
  return {{"peakBytesInUse", stats.peakBytesInUse},
          {"liveBlocksAtPeak", stats.liveBlocksAtPeak},
          {"bytesAllocated", stats.bytesAllocated},
          {"allocations", stats.allocations},
          {"bytesFreed", stats.bytesFreed},
          {"frees", stats.frees},
          {"bytesInUse", stats.bytesAllocated - stats.bytesFreed},
          {"blocksInUse", stats.allocations - stats.frees}};
}

HttpReply ControlApi::status() {
  const auto uptime = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - started_)
                          .count();
  return HttpReply::json(200,
                         {{"plugin",
                           {{"path", info_.pluginPath},
                            {"shortName", plugin_.shortName()},
                            {"apiVersion", plugin_.version()},
                            {"initialized", plugin_.initialized()}}},
                          {"localApi", info_.localUrl},
                          {"store", {{"url", info_.storeUrl}, {"embedded", info_.embeddedStore}}},
                          {"uptimeMs", uptime},
                          {"counters", host_.counters()},
                          {"memory", memory()}});
}

}  // namespace tev::devhost
