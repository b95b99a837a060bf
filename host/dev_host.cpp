#include "host/dev_host.h"

#include <httplib.h>

#include <fstream>
#include <sstream>

#include "host/endpoint_call.h"
#include "host/host_value_json.h"
#include "host/http/start_page.h"
#include "host/http_reply.h"
#include "host/http_server_setup.h"

#ifndef TEV_PRODUCT_VERSION
#define TEV_PRODUCT_VERSION "0.0.0"
#endif

namespace tev::devhost {
namespace {

using nlohmann::json;

// Largest request body the local API reads.
constexpr std::size_t kMaxRequestBody = 16u * 1024 * 1024;
constexpr char kValidatePath[] = "/tev-purchase-widget/v1/validateItems";

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool readFile(const std::string& path, std::string& out, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  out = text.str();
  return true;
}

bool readJsonFile(const std::string& path, json& out, std::string& error) {
  std::string text;
  if (!readFile(path, text, error)) return false;
  if (parseJson(text, out, error)) return true;
  error = path + ": " + error;
  return false;
}

void write(httplib::Response& response, const HttpReply& reply) {
  response.status = reply.status;
  for (const auto& [name, value] : reply.headers) response.set_header(name, value);
  response.set_content(reply.body, reply.contentType);
}

std::string lowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Headers the library adds to a request for its own use, and the framing headers the host
// writes itself.
bool isLibraryHeader(std::string_view name) {
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
         name == "LOCAL_PORT";
}

bool isFramingHeader(std::string_view lowered) {
  return lowered == "content-length" || lowered == "transfer-encoding" || lowered == "connection" ||
         lowered == "content-type";
}

// What a streamed plugin body needs while the library writes it, after the handler returned.
struct StreamedBody {
  BodyStream stream;
  PluginGate* gate;
};

}  // namespace

DevHost::DevHost(HostOptions options)
    : options_(std::move(options)),
      log_(options_.verbosity),
      external_(ExternalSettings{options_.connectTimeoutMs, options_.timeoutMs}),
      events_(gate_, log_),
      hostApi_(log_, gate_, events_, resources_, external_),
      web_(options_.webRoot) {}

DevHost::~DevHost() { stop(); }

json DevHost::defaultResources(const std::string& storeUrl, const StoreAccount& account) {
  return {{"/tev-platform-config/v1/namespaces/HuxPurchaseWidget",
           {{"Enabled", true}, {"PurchaseDisclaimerEnabled", true}, {"BaseUrl", storeUrl}}},
          {"/tev-login/v1/session",
           {{"state", "SUCCEEDED"},
            {"tivanId", account.tivanId},
            {"accountId", account.accountId},
            {"idToken", account.token}}},
          {"/orvikclient/region-locale", {{"locale", "en_US"}}}};
}

void DevHost::substituteStoreUrl(json& value, const std::string& storeUrl) {
  static constexpr std::string_view kPlaceholder = "{{storeUrl}}";
  if (value.is_string()) {
    std::string& text = value.get_ref<std::string&>();
    for (std::size_t at = text.find(kPlaceholder); at != std::string::npos;
         at = text.find(kPlaceholder, at + storeUrl.size())) {
      text.replace(at, kPlaceholder.size(), storeUrl);
    }
  } else if (value.is_structured()) {
    for (json& member : value) substituteStoreUrl(member, storeUrl);
  }
}

bool DevHost::start(std::string& error) {
  const bool ok =
      startStore(error) && loadResources(error) && loadPlugin(error) && startLocalApi(error);
  if (!ok) {
    stop();
    return false;
  }
  started_ = true;
  printWelcome();
  return true;
}

bool DevHost::startStore(std::string& error) {
  json document;
  std::string catalogueError;
  const bool catalogueRead = readJsonFile(options_.cataloguePath, document, catalogueError) &&
                             catalogue_.load(document, catalogueError);
  if (!options_.storeUrl.empty()) {
    storeUrl_ = options_.storeUrl;
    log_.line(1, "store at " + storeUrl_ + " (external)");
    return true;
  }
  if (!catalogueRead) {
    error = "embedded store: " + catalogueError;
    return false;
  }
  store_ = std::make_unique<StoreService>(catalogue_, log_, options_.threads);
  if (!store_->start(error)) return false;
  storeUrl_ = store_->baseUrl();
  log_.line(1, "embedded store at " + storeUrl_ + " with " +
                   std::to_string(catalogue_.items().size()) + " items from " +
                   options_.cataloguePath);
  return true;
}

bool DevHost::loadResources(std::string& error) {
  json resources;
  if (options_.resourcesPath.empty()) {
    StoreAccount fallback;
    fallback.token = "devhost-player-token";
    fallback.accountId = 1;
    fallback.tivanId = 1;
    resources = defaultResources(storeUrl_, catalogue_.defaultAccount().value_or(fallback));
  } else {
    if (!readJsonFile(options_.resourcesPath, resources, error)) return false;
    if (!resources.is_object()) {
      error = options_.resourcesPath + ": resources are a JSON object of path to value";
      return false;
    }
    substituteStoreUrl(resources, storeUrl_);
  }
  for (const auto& [path, value] : resources.items()) resources_.put(path, value);
  log_.line(1, std::to_string(resources.size()) + " resources" +
                   (options_.resourcesPath.empty() ? "" : " from " + options_.resourcesPath));
  return true;
}

bool DevHost::loadPlugin(std::string& error) {
  const std::string entry =
      options_.entryName.empty() ? entryNameForLibrary(options_.pluginPath) : options_.entryName;
  if (!plugin_.open(options_.pluginPath, entry, error) || !plugin_.load(error)) return false;
  hostApi_.setPluginName(plugin_.shortName());
  endpoints_ = EndpointTable(plugin_.apiTable());
  hostApi_.setEndpoints(&endpoints_);
  events_.start();
  connection_ = HostConnection{hostApi_.table(), kPluginHandle};
  bool initialized = false;
  {
    const PluginGate::Exclusive alone(gate_);
    initialized = plugin_.initialize(connection_);
  }
  if (!initialized) {
    error = "the plugin's Initialize reported failure";
    return false;
  }
  log_.line(1, "loaded " + plugin_.shortName() + " (plugin API " + plugin_.version() + ") from " +
                   options_.pluginPath + " with " + std::to_string(endpoints_.routes().size()) +
                   " endpoints");
  return true;
}

bool DevHost::startLocalApi(std::string& error) {
  server_ = std::make_unique<httplib::Server>();
  configureServer(*server_, options_.threads);
  server_->set_payload_max_length(kMaxRequestBody);
  const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    serve(request, response);
  };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  server_->Put(".*", handler);
  server_->Patch(".*", handler);
  server_->Delete(".*", handler);
  server_->Options(".*", handler);
  if (log_.enabled(2)) {
    server_->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
      log_.line(2,
                request.method + " " + request.target + " -> " + std::to_string(response.status));
    });
  }
  if (!bindLoopback(*server_, options_.port, port_, error)) return false;
  ControlInfo info;
  info.pluginPath = options_.pluginPath;
  info.storeUrl = storeUrl_;
  info.embeddedStore = store_ != nullptr;
  info.localUrl = "http://127.0.0.1:" + std::to_string(port_) + "/";
  info.productVersion = TEV_PRODUCT_VERSION;
  control_ = std::make_unique<ControlApi>(resources_, events_, hostApi_, plugin_, store_.get(),
                                          std::move(info));
  eventStream_ = std::make_unique<EventStream>(events_);
  listenInBackground(*server_, serverThread_);
  return true;
}

void DevHost::stop() {
  if (stopped_) return;
  stopped_ = true;
  // Open event streams end first: each holds a worker that the server's stop waits for.
  if (eventStream_ != nullptr) eventStream_->close();
  // No new requests, and those in progress finish, before the plugin goes.
  if (server_ != nullptr) server_->stop();
  if (serverThread_.joinable()) serverThread_.join();
  eventStream_.reset();
  events_.stop();
  hostApi_.setEndpoints(nullptr);
  {
    const PluginGate::Exclusive alone(gate_);
    plugin_.shutdown();
  }
  if (store_ != nullptr) store_->stop();
  if (started_) log_.line(1, "plugin shut down, host stopped");
}

void DevHost::printWelcome() {
  const std::string base = "http://127.0.0.1:" + std::to_string(port_);
  // The one line printed at every verbosity: scripts and tests wait for it.
  log_.line(0, "local API at " + base + "/");
  if (!log_.enabled(1)) return;
  std::string text = "endpoints of " + plugin_.shortName() + ":";
  const EndpointRoute* firstGet = nullptr;
  bool hasValidate = false;
  for (const EndpointRoute& route : endpoints_.routes()) {
    const std::string method = route.method == kMethodOther ? route.methodText
                               : route.method == kMethodAny ? "ANY"
                                                            : methodText(route.method);
    text += "\n  " + method + std::string(method.size() < 6 ? 6 - method.size() : 1, ' ') + base +
            route.httpPath;
    if (firstGet == nullptr && route.method == kMethodGet && route.literal) firstGet = &route;
    hasValidate = hasValidate || route.httpPath == kValidatePath;
  }
  text += "\ncontrol API: " + base + kControlPrefix +
          "/ (resources, events, events/stream, api, openapi.json, status, memory, store/fault,"
          " store/catalogue, store/wallet)";
  text += "\nAPI docs: " + base + "/docs/ (web files from " + options_.webRoot + ")";
  if (!web_.hasPackage("swagger-ui-dist")) {
    text += "\n  (its npm packages are missing: run scripts/setup browser)";
  }
  text += "\npurchase widget: " + base + "/widget/ (a browser at " + base +
          "/ gets links to all pages)";
  text += "\nstore: " + storeUrl_ + (store_ != nullptr ? " (embedded)" : " (external)");
  text += "\ntry:\n  curl -s " + base +
          (firstGet != nullptr ? firstGet->httpPath : "/devhost/v1/status");
  if (hasValidate && !catalogue_.items().empty()) {
    const StoreItem& item = catalogue_.items().front();
    text +=
        "\n  curl -s -X POST -H 'Content-Type: application/json' -d '{\"items\":[{\"itemKey\":"
        "{\"inventoryType\":\"" +
        item.inventoryType + "\",\"itemId\":" + std::to_string(item.itemId) +
        "},\"quantity\":1}]}' " + base + kValidatePath;
  } else {
    text += "\n  curl -s " + base + kControlPrefix + "/api";
  }
  text += "\nCtrl-C stops the host.";
  log_.line(1, text);
}

bool DevHost::isLocalAuthority(std::string_view authority) const {
  const std::string port = ":" + std::to_string(port_);
  for (const std::string_view name : {"127.0.0.1", "localhost"}) {
    if (authority == name || authority == std::string(name) + port) return true;
  }
  return false;
}

void DevHost::serve(const httplib::Request& request, httplib::Response& response) {
  // Only loopback names: a web page whose name was rebound to 127.0.0.1 does not reach the
  // plugin (which holds the player's token) nor the control API.
  if (!isLocalAuthority(request.get_header_value("Host"))) {
    write(response, HttpReply::error(421, "This host answers only for 127.0.0.1 and localhost"));
    return;
  }
  const std::string_view target = request.target;
  const std::string_view path = target.substr(0, target.find('?'));
  if (path == "/devhost" || startsWith(path, "/devhost/")) {
    // A browser names the page that sends a request; pages of other origins may not change
    // the host's state. curl and other tools send no Origin.
    const std::string origin = request.get_header_value("Origin");
    const std::string_view scheme = "http://";
    if (request.method != "GET" && request.method != "HEAD" && !origin.empty() &&
        !(startsWith(origin, scheme) && isLocalAuthority(origin.substr(scheme.size())))) {
      write(response, HttpReply::error(403, "The control API refuses requests from " + origin));
      return;
    }
    const std::string_view prefix = kControlPrefix;
    if (!startsWith(path, prefix) || (path.size() > prefix.size() && path[prefix.size()] != '/')) {
      write(response, HttpReply::error(404, "The control API is under " + std::string(prefix)));
      return;
    }
    if (path.substr(prefix.size()) == "/events/stream" && request.method == "GET") {
      eventStream_->serve(response);
      return;
    }
    write(response, control_->handle(request.method, path.substr(prefix.size()), request.body,
                                     request.get_header_value("Host")));
    return;
  }
  if (servePlugin(request, response, path)) return;
  if (std::optional<HttpReply> file = web_.serve(request.method, path)) {
    write(response, *file);
    return;
  }
  const bool get = request.method == "GET" || request.method == "HEAD";
  if (get) {
    if (std::optional<json> value = resources_.get(path)) {
      write(response, HttpReply::json(200, *value));
      return;
    }
    if (path == "/") {
      // One URL, two answers: a browser gets links, other clients the JSON index.
      response.set_header("Vary", "Accept");
      if (prefersHtml(request.get_header_value("Accept"))) {
        StartPageInfo page{plugin_.shortName(), {}, storeUrl_};
        for (const EndpointRoute& route : endpoints_.routes()) {
          page.endpoints.emplace_back(methodText(route.method), route.httpPath);
        }
        response.set_content(startPageHtml(page), kHtmlContentType);
        return;
      }
      json endpoints = json::array();
      for (const EndpointRoute& route : endpoints_.routes()) {
        endpoints.push_back({{"method", methodText(route.method)}, {"path", route.httpPath}});
      }
      write(response, HttpReply::json(200, {{"plugin", plugin_.shortName()},
                                            {"endpoints", std::move(endpoints)},
                                            {"control", std::string(kControlPrefix) + "/"},
                                            {"store", storeUrl_}}));
      return;
    }
  }
  write(response, HttpReply::error(404, "Nothing at " + request.method + " " + std::string(path)));
}

bool DevHost::servePlugin(const httplib::Request& request, httplib::Response& response,
                          std::string_view path) {
  std::uint32_t method = methodCode(request.method);
  const std::string text = method == kMethodOther ? request.method : "";
  EndpointTable::Match match = endpoints_.find(method, text, path);
  if (match.route == nullptr && method == kMethodHead) {
    // HEAD runs the GET endpoint; the library sends the headers only.
    match = endpoints_.find(kMethodGet, "", path);
    method = kMethodGet;
  }
  if (match.route == nullptr) {
    if (!match.pathMatched) return false;
    HttpReply reply = HttpReply::error(405, "Method not allowed; use " + match.allowed);
    reply.headers.emplace_back("Allow", match.allowed);
    write(response, reply);
    return true;
  }
  EndpointCall call;
  call.method = method;
  call.methodText = text;
  call.target = match.route->targetFor(request.target);
  // Header names are case-insensitive; the plugin binds header arguments by lower-case name.
  for (const auto& [name, value] : request.headers) {
    if (!isLibraryHeader(name)) call.headers.emplace_back(lowerCase(name), value);
  }
  call.contentType = request.get_header_value("Content-Type");
  call.body = request.body;
  EndpointReply reply;
  {
    const PluginGate::Shared inside(gate_);
    reply = callEndpoint(*match.route, call);
  }
  response.status = reply.status;
  std::string contentType = kJsonContentType;
  for (const auto& [name, value] : reply.headers) {
    const std::string lowered = lowerCase(name);
    if (lowered == "content-type") contentType = value;
    if (!isFramingHeader(lowered)) response.set_header(name, value);
  }
  if (reply.stream.producer == nullptr) {
    response.set_content(reply.json, kJsonContentType);
    return true;
  }
  auto body = std::make_shared<StreamedBody>(StreamedBody{reply.stream, &gate_});
  if (body->stream.read == nullptr) {
    {
      const PluginGate::Shared inside(gate_);
      if (body->stream.release != nullptr) body->stream.release(body->stream.producer);
    }
    write(response, HttpReply::error(500, "The plugin's body stream has no read function"));
    return true;
  }
  response.set_chunked_content_provider(
      contentType,
      [body](std::size_t, httplib::DataSink& sink) {
        char buffer[16384];
        std::uint32_t length = sizeof buffer;
        std::uint8_t more = 0;
        bool ok = false;
        {
          const PluginGate::Shared inside(*body->gate);
          ok = body->stream.read(body->stream.producer, buffer, &length, &more) != 0;
        }
        // A failing producer ends the connection: the status line is already sent.
        if (!ok || length > sizeof buffer) return false;
        if (length != 0) sink.write(buffer, length);
        if (more == 0) sink.done();
        return true;
      },
      [body](bool) {
        const PluginGate::Shared inside(*body->gate);
        if (body->stream.release != nullptr) body->stream.release(body->stream.producer);
      });
  return true;
}

}  // namespace tev::devhost
