// The embedded store service: a cpp-httplib server on a free loopback port that answers
// POST "v1/validate?language=..." and POST "v1/purchase" from a StoreCatalogue, with 401 for a
// missing or unknown bearer token. A fault can be injected (a delay, a fixed answer, or both) to
// show how the plugin meets a failing store. Owned by the host; stop() before destruction.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/host_log.h"
#include "host/store/store_catalogue.h"

namespace httplib {
class Server;
}

namespace tev::devhost {

// What the store does instead of (or before) answering normally.
struct StoreFault {
  int delayMs = 0;   // wait this long first (the client may time out meanwhile)
  int status = 0;    // 0: answer normally after the delay; else answer this status...
  std::string body;  // ...with this body
  std::string contentType = "text/plain";                    // ...of this type
  std::vector<std::pair<std::string, std::string>> headers;  // ...and these headers

  // Reads {"delayMs", "status", "body", "contentType", "headers": {name: value}}. Returns false
  // with `error` for a member of the wrong type, a status outside 0 and 100 to 599, a delay
  // outside 0 to 60000 ms, or a header with a line break.
  [[nodiscard]] static bool fromJson(const nlohmann::json& value, StoreFault& out,
                                     std::string& error);
  nlohmann::json toJson() const;
};

class StoreService {
 public:
  StoreService(StoreCatalogue& catalogue, HostLog& log, int threads);
  ~StoreService();
  StoreService(const StoreService&) = delete;
  StoreService& operator=(const StoreService&) = delete;

  // Listens on 127.0.0.1 at a free port. Returns false with `error` when it cannot.
  [[nodiscard]] bool start(std::string& error);
  // Stops listening, ends any injected delay, and joins the server thread.
  void stop();

  // "http://127.0.0.1:<port>/".
  std::string baseUrl() const;
  // The items and accounts it answers from.
  const StoreCatalogue& catalogue() const { return catalogue_; }

  void setFault(StoreFault fault);
  void clearFault();
  // The injected fault, or null.
  nlohmann::json fault() const;

 private:
  void serve(const std::string& route, const std::string& body, const std::string& authorization,
             const std::string& language, int& status, std::string& contentType,
             std::string& responseBody, std::vector<std::pair<std::string, std::string>>& headers);
  // Waits `ms` unless the service stops first; false when it stopped.
  bool delay(int ms);

  StoreCatalogue& catalogue_;
  HostLog& log_;
  const int threads_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  bool hasFault_ = false;
  StoreFault fault_;
};

}  // namespace tev::devhost
