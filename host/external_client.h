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

// The error codes of an external answer (0: the request was performed).
enum : std::int32_t {
  kExternalNotSent = -1,     // the request could not be made: URL, method or header refused
  kExternalUnreachable = 2,  // no connection: refused, unresolved, or connection timeout
  kExternalNoAnswer = 3,     // connected, but no complete answer: read or write timeout,
                             // closed connection, TLS failure, or an answer over the size cap
};

struct ExternalOutcome {
  // 0: performed (status, headers and body are the server's); otherwise one of the codes above
  // and `body` the failure's text.
  std::int32_t errorCode = 0;
  std::int32_t status = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
};

class ExternalClient {
 public:
  explicit ExternalClient(ExternalSettings settings) : settings_(settings) {}

  // Sends one request. `method` is a method code (1 to 7); a URL that is not absolute http or
  // https, another method, or a header with a line break fails with kExternalNotSent without a
  // connection. Redirects are not followed.
  ExternalOutcome send(std::uint32_t method, const std::string& url,
                       const std::vector<std::pair<std::string, std::string>>& headers,
                       std::string_view body) const;

  const ExternalSettings& settings() const { return settings_; }

 private:
  ExternalSettings settings_;
};

}  // namespace tev::devhost
