// One call of a plugin endpoint through the request callback of its API-table entry: the host
// request record built from plain inputs, and the plugin's response record turned into an
// EndpointReply, after which the record's cleanup has run. Call inside the plugin gate. A
// streamed body stays with the reply; its owner reads it inside the gate and then releases it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/endpoint_table.h"
#include "platform/host_boundary.h"

namespace tev::devhost {

struct EndpointCall {
  std::uint32_t method = kMethodGet;
  std::string methodText;  // with kMethodOther
  std::string target;      // path and query, as the plugin's router matches them
  std::vector<std::pair<std::string, std::string>> headers;
  std::string contentType;
  std::string_view body;
  std::vector<const HostLocalParameter*> arguments;  // direct arguments (local requests only)
};

// A streamed response body: read it with `read(producer, ...)` until no more follows, then
// call `release(producer)` exactly once.
struct BodyStream {
  HostBodyRead read = nullptr;
  HostBodyRelease release = nullptr;
  void* producer = nullptr;
  std::uint32_t size = 0;  // the producer's size hint
};

struct EndpointReply {
  int status = 200;     // the HTTP status the host answers with
  bool failed = false;  // the plugin reported an error
  std::string error;    // its text
  std::string json;     // the result (or {"error": text}) as JSON text
  std::vector<std::pair<std::string, std::string>> headers;  // the plugin's response headers
  BodyStream stream;  // set when the plugin streams the body instead
};

// The statuses the host chooses when the plugin leaves the choice to it (status 0): 200 for a
// result, 400 for an error (the plugin's router reports malformed requests that way).
inline constexpr int kDefaultSuccessStatus = 200;
inline constexpr int kDefaultErrorStatus = 400;

// Calls `route` with `call`. A status outside 100 to 599 becomes 500 with an error; so does a
// result the host cannot read.
EndpointReply callEndpoint(const EndpointRoute& route, const EndpointCall& call);

// Reads a body stream to its end and releases it. Returns false with `error` when the producer
// reports failure or the body passes `limit` bytes.
[[nodiscard]] bool readBodyStream(const BodyStream& stream, std::size_t limit, std::string& out,
                                  std::string& error);

}  // namespace tev::devhost
