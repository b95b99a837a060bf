#include "host/store/store_service.h"

#include <httplib.h>

#include <chrono>

#include "host/host_value_json.h"
#include "host/http_server_setup.h"

namespace tev::devhost {
namespace {

using nlohmann::json;

constexpr int kMaxDelayMs = 60000;
constexpr char kJson[] = "application/json";

bool hasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n", 0) != std::string::npos || text.find('\0') != std::string::npos;
}

std::string bearerToken(const std::string& authorization) {
  static constexpr std::string_view kBearer = "Bearer ";
  if (authorization.size() <= kBearer.size() ||
      std::string_view(authorization).substr(0, kBearer.size()) != kBearer) {
    return {};
  }
  return authorization.substr(kBearer.size());
}

}  // namespace

bool StoreFault::fromJson(const json& value, StoreFault& out, std::string& error) {
  out = StoreFault{};
  if (!value.is_object()) {
    error = "a fault is a JSON object";
    return false;
  }
  for (const auto& [key, member] : value.items()) {
    if (key == "delayMs" || key == "status") {
      const int low = 0;
      const int high = key == "delayMs" ? kMaxDelayMs : 599;
      if (!member.is_number_integer() || member.get<std::int64_t>() < low ||
          member.get<std::int64_t>() > high) {
        error = key + " must be a whole number from " + std::to_string(low) + " to " +
                std::to_string(high);
        return false;
      }
      (key == "delayMs" ? out.delayMs : out.status) = member.get<int>();
    } else if (key == "body" || key == "contentType") {
      if (!member.is_string()) {
        error = key + " must be a text";
        return false;
      }
      (key == "body" ? out.body : out.contentType) = member.get<std::string>();
    } else if (key == "headers") {
      if (!member.is_object()) {
        error = "headers must be an object of texts";
        return false;
      }
      for (const auto& [name, headerValue] : member.items()) {
        if (!headerValue.is_string() || name.empty() || hasLineBreak(name) ||
            hasLineBreak(headerValue.get<std::string>())) {
          error = "headers must be an object of texts without line breaks";
          return false;
        }
        out.headers.emplace_back(name, headerValue.get<std::string>());
      }
    } else {
      error = "unknown fault member '" + key + "'";
      return false;
    }
  }
  if (out.status != 0 && out.status < 100) {
    error = "status must be 0 (answer normally) or from 100 to 599";
    return false;
  }
  if (hasLineBreak(out.contentType)) {
    error = "contentType must not hold a line break";
    return false;
  }
  return true;
}

json StoreFault::toJson() const {
  json headerObject = json::object();
  for (const auto& [name, value] : headers) headerObject[name] = value;
  return {{"delayMs", delayMs},
          {"status", status},
          {"body", body},
          {"contentType", contentType},
          {"headers", std::move(headerObject)}};
}

StoreService::StoreService(StoreCatalogue& catalogue, HostLog& log, int threads)
    : catalogue_(catalogue), log_(log), threads_(threads) {}

StoreService::~StoreService() { stop(); }

bool StoreService::start(std::string& error) {
  server_ = std::make_unique<httplib::Server>();
  configureServer(*server_, threads_);
  const auto handle = [this](const std::string& route) {
    return [this, route](const httplib::Request& request, httplib::Response& response) {
      int status = 200;
      std::string contentType = kJson;
      std::string body;
      std::vector<std::pair<std::string, std::string>> headers;
      serve(route, request.body, request.get_header_value("Authorization"),
            request.get_param_value("language"), status, contentType, body, headers);
      response.status = status;
      for (const auto& [name, value] : headers) response.set_header(name, value);
      response.set_content(body, contentType);
      log_.line(2, "store " + route + " -> " + std::to_string(status));
    };
  };
  server_->Post("/v1/validate", handle("v1/validate"));
  server_->Post("/v1/purchase", handle("v1/purchase"));
  if (!bindLoopback(*server_, 0, port_, error)) {
    error = "embedded store: " + error;
    return false;
  }
  listenInBackground(*server_, thread_);
  return true;
}

void StoreService::stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  if (server_ != nullptr) server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string StoreService::baseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void StoreService::setFault(StoreFault fault) {
  const std::lock_guard<std::mutex> lock(mutex_);
  fault_ = std::move(fault);
  hasFault_ = true;
}

void StoreService::clearFault() {
  const std::lock_guard<std::mutex> lock(mutex_);
  hasFault_ = false;
}

json StoreService::fault() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return hasFault_ ? fault_.toJson() : json(nullptr);
}

bool StoreService::delay(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !stopped_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void StoreService::serve(const std::string& route, const std::string& body,
                         const std::string& authorization, const std::string& language, int& status,
                         std::string& contentType, std::string& responseBody,
                         std::vector<std::pair<std::string, std::string>>& headers) {
  std::optional<StoreFault> fault;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (hasFault_) fault = fault_;
  }
  if (fault) {
    if (fault->delayMs > 0 && !delay(fault->delayMs)) {
      status = 503;
      responseBody = "{\"error\":\"the store is stopping\"}";
      return;
    }
    if (fault->status != 0) {
      status = fault->status;
      contentType = fault->contentType;
      responseBody = fault->body;
      headers = fault->headers;
      return;
    }
  }
  const std::optional<std::uint64_t> account =
      catalogue_.accountForToken(bearerToken(authorization));
  if (!account) {
    status = 401;
    headers.emplace_back("WWW-Authenticate", "Bearer");
    responseBody = "{\"error\":\"missing or unknown bearer token\"}";
    return;
  }
  json request;
  std::string error;
  if (!parseJson(body, request, error)) {
    status = 400;
    responseBody = dumpJson(json{{"error", "the body is not JSON: " + error}});
    return;
  }
  StoreAnswer answer;
  try {
    answer = route == "v1/validate" ? catalogue_.validate(request, language, currentUtcText())
                                    : catalogue_.purchase(*account, request, currentUtcText());
  } catch (const json::exception& e) {
    answer = {400, {{"error", std::string("malformed request: ") + e.what()}}};
  }
  status = answer.status;
  responseBody = dumpJson(answer.body);
}

}  // namespace tev::devhost
