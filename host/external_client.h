// The host's outgoing HTTP for the plugin's external requests: cpp-httplib's client with
// TCP_NODELAY, keep-alive, connection and read timeouts, HTTPS through OpenSSL, and a cap on
// the answer's size. Each thread keeps its own connections per origin. Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tev::devhost {

struct ExternalSettings {
  int connectTimeoutMs = 3000;
  int timeoutMs = 10000;                         // read and write
  std::size_t maxBodyBytes = 16u * 1024 * 1024;  // larger answers fail
};

struct ExternalOutcome {
  // 0: performed (status, headers and body are the server's); otherwise the failure's code
  // (cpp-httplib's error number, 1 for a request the host could not make) and `body` its text.
  std::int32_t errorCode = 0;
  std::int32_t status = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
};

class ExternalClient {
 public:
  explicit ExternalClient(ExternalSettings settings) : settings_(settings) {}

  // Sends one request. `method` is a method code (1 to 7); a URL that is not absolute http or
  // https, or another method, fails with error code 1 without a connection. Redirects are not
  // followed.
  ExternalOutcome send(std::uint32_t method, const std::string& url,
                       const std::vector<std::pair<std::string, std::string>>& headers,
                       std::string_view body) const;

  const ExternalSettings& settings() const { return settings_; }

 private:
  ExternalSettings settings_;
};

}  // namespace tev::devhost
