#include "host/external_client.h"

#include <httplib.h>

#include <cctype>
#include <memory>
#include <unordered_map>

#include "host/endpoint_table.h"

namespace tev::devhost {
namespace {

// Connections kept per thread; the oldest origins are dropped beyond it.
constexpr std::size_t kMaxClientsPerThread = 16;

struct ParsedUrl {
  std::string origin;  // scheme://host[:port]
  std::string pathAndQuery;
};

// Whether `text` can stand in a request line or header without ending it early.
bool safeOnTheWire(std::string_view text, bool allowSpace) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (!allowSpace && c == ' ')) {
      if (allowSpace && c == '\t') continue;
      return false;
    }
  }
  return true;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool isFramingHeader(std::string_view name) {
  return equalIgnoringCase(name, "content-length") || equalIgnoringCase(name, "transfer-encoding");
}

bool parseUrl(const std::string& url, ParsedUrl& out) {
  if (!safeOnTheWire(url, false)) return false;
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos) return false;
  const std::string scheme = url.substr(0, schemeEnd);
  if (scheme != "http" && scheme != "https") return false;
  const std::size_t hostStart = schemeEnd + 3;
  const std::size_t pathStart = url.find_first_of("/?#", hostStart);
  out.origin = url.substr(0, pathStart);
  if (out.origin.size() == hostStart) return false;  // no host
  out.pathAndQuery = pathStart == std::string::npos ? "/" : url.substr(pathStart);
  out.pathAndQuery = out.pathAndQuery.substr(0, out.pathAndQuery.find('#'));
  if (out.pathAndQuery.empty() || out.pathAndQuery.front() == '?') {
    out.pathAndQuery.insert(0, "/");
  }
  return true;
}

// What went wrong, in words a developer reading the plugin's error understands.
std::string describe(httplib::Error error, const ExternalSettings& settings) {
  switch (error) {
    case httplib::Error::Connection:
      return "connection failed";
    case httplib::Error::ConnectionTimeout:
      return "no connection within " + std::to_string(settings.connectTimeoutMs) + " ms";
    case httplib::Error::Read:
      return "no complete answer (closed, or nothing for " + std::to_string(settings.timeoutMs) +
             " ms)";
    case httplib::Error::Write:
      return "sending the request failed";
    case httplib::Error::SSLConnection:
      return "TLS handshake failed";
    case httplib::Error::SSLLoadingCerts:
      return "loading the CA certificates failed";
    case httplib::Error::SSLServerVerification:
      return "the server's certificate was not accepted";
    case httplib::Error::Compression:
      return "the answer could not be decompressed";
    default:
      return httplib::to_string(error);
  }
}

httplib::Client& clientFor(const std::string& origin, const ExternalSettings& settings) {
  // Per thread: a cpp-httplib client must not serve two requests at once, and a thread of the
  // local API serves one request at a time.
  thread_local std::unordered_map<std::string, std::unique_ptr<httplib::Client>> clients;
  auto it = clients.find(origin);
  if (it != clients.end()) return *it->second;
  if (clients.size() >= kMaxClientsPerThread) clients.clear();
  auto client = std::make_unique<httplib::Client>(origin);
  client->set_tcp_nodelay(true);
  client->set_keep_alive(true);
  client->set_follow_location(false);
  // The plugin's URL is sent as it wrote it; send() refuses the characters that would break
  // the request line.
  client->set_url_encode(false);
  const auto ms = [](int value) { return std::chrono::milliseconds(value); };
  client->set_connection_timeout(ms(settings.connectTimeoutMs));
  client->set_read_timeout(ms(settings.timeoutMs));
  client->set_write_timeout(ms(settings.timeoutMs));
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
  client->enable_server_certificate_verification(true);
#endif
  return *clients.emplace(origin, std::move(client)).first->second;
}

}  // namespace

ExternalOutcome ExternalClient::send(
    std::uint32_t method, const std::string& url,
    const std::vector<std::pair<std::string, std::string>>& headers, std::string_view body) const {
  ExternalOutcome outcome;
  ParsedUrl parsed;
  if (!parseUrl(url, parsed)) {
    outcome.errorCode = kExternalNotSent;
    outcome.body = "Invalid URL '" + url + "': only absolute http and https URLs are supported";
    return outcome;
  }
  const char* text = methodText(method);
  if (*text == '\0') {
    outcome.errorCode = kExternalNotSent;
    outcome.body = "Unsupported method code " + std::to_string(method);
    return outcome;
  }
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
  if (parsed.origin.rfind("https", 0) == 0) {
    outcome.errorCode = kExternalNotSent;
    outcome.body = "HTTPS is not available in this build";
    return outcome;
  }
#endif
  httplib::Request request;
  request.method = text;
  request.path = parsed.pathAndQuery;
  for (const auto& [name, value] : headers) {
    if (name.empty() || !safeOnTheWire(name, false) || !safeOnTheWire(value, true)) {
      outcome.errorCode = kExternalNotSent;
      outcome.body = "Invalid header '" + name +
                     "': names and values must not hold line breaks "
                     "or control characters";
      return outcome;
    }
    // The host frames the body itself.
    if (!isFramingHeader(name)) request.headers.emplace(name, value);
  }
  request.body = std::string(body);
  std::string received;
  bool tooLarge = false;
  const std::size_t limit = settings_.maxBodyBytes;
  request.content_receiver = [&](const char* data, std::size_t length, std::uint64_t,
                                 std::uint64_t) {
    if (received.size() + length > limit) {
      tooLarge = true;
      return false;
    }
    received.append(data, length);
    return true;
  };

  httplib::Client& client = clientFor(parsed.origin, settings_);
  httplib::Response response;
  httplib::Error error = httplib::Error::Success;
  if (!client.send(request, response, error)) {
    outcome.errorCode =
        error == httplib::Error::Success ? kExternalNotSent : static_cast<std::int32_t>(error);
    outcome.body = tooLarge ? "Answer of " + std::string(text) + " " + url + " is longer than " +
                                  std::to_string(limit) + " bytes"
                            : describe(error, settings_) + ": " + std::string(text) + " " + url;
    return outcome;
  }
  outcome.status = response.status;
  for (const auto& [name, value] : response.headers) outcome.headers.emplace_back(name, value);
  outcome.body = std::move(received);
  return outcome;
}

}  // namespace tev::devhost
