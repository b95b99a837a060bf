#include "host/endpoint_call.h"

#include "host/host_value_json.h"

namespace tev::devhost {
namespace {

// Empty reads in a row after which a stream that still says "more" counts as stalled.
constexpr int kMaxIdleReads = 10000;

std::string errorJson(std::string_view text) {
  std::string out = "{\"error\":";
  appendJsonString(text, out);
  out.push_back('}');
  return out;
}

void fail(EndpointReply& reply, int status, std::string text) {
  reply.failed = true;
  reply.status = status;
  reply.json = errorJson(text);
  reply.error = std::move(text);
}

}  // namespace

EndpointReply callEndpoint(const EndpointRoute& route, const EndpointCall& call) {
  std::vector<HostHeader> headers;
  headers.reserve(call.headers.size());
  for (const auto& [name, value] : call.headers) headers.push_back({name.c_str(), value.c_str()});

  HostEndpointRequest request{};
  request.method = call.method;
  request.target = call.target.c_str();
  request.arguments = call.arguments.empty() ? nullptr : call.arguments.data();
  request.argumentCount = static_cast<std::uint32_t>(call.arguments.size());
  request.context = route.entry->function.context;
  request.headers = headers.empty() ? nullptr : headers.data();
  request.headerCount = static_cast<std::uint32_t>(headers.size());
  request.contentType = call.contentType.c_str();
  request.body = call.body.empty() ? nullptr : call.body.data();
  request.bodyLength = static_cast<std::uint32_t>(call.body.size());
  request.requestHandle = nullptr;
  request.methodText = call.methodText.c_str();

  HostEndpointResponse response{};
  const HostEndpointCallback callback = route.entry->callback;
  callback(&response, &request);

  EndpointReply reply;
  const std::int32_t status = response.status;
  if (response.hasError != 0) {
    const char* text = response.error;
    fail(reply, status != 0 ? status : kDefaultErrorStatus, text != nullptr ? text : "");
  } else {
    reply.status = status != 0 ? status : kDefaultSuccessStatus;
    std::string error;
    const HostValue result = response.result;
    if (!writeHostValueJson(result, reply.json, error)) {
      fail(reply, 500, "the plugin answered with a value the host cannot read: " + error);
    }
  }
  if (reply.status < 100 || reply.status > 599) {
    fail(reply, 500, "the plugin answered with the invalid status " + std::to_string(status));
  }
  const HostHeader* responseHeaders = response.headers;
  const std::uint32_t headerCount = response.headerCount;
  for (std::uint32_t i = 0; responseHeaders != nullptr && i < headerCount; ++i) {
    const HostHeader header = responseHeaders[i];
    if (header.name == nullptr || header.value == nullptr) continue;
    reply.headers.emplace_back(header.name, header.value);
  }
  if (response.bodyProducer != nullptr) {
    reply.stream = {response.readBody, response.releaseBody, response.bodyProducer,
                    response.bodySize};
  }
  if (response.cleanup != nullptr) {
    const HostResponseCleanup cleanup = response.cleanup;
    cleanup(&response);
  }
  return reply;
}

bool readBodyStream(const BodyStream& stream, std::size_t limit, std::string& out,
                    std::string& error) {
  bool ok = true;
  if (stream.read == nullptr) {
    error = "the plugin's body stream has no read function";
    ok = false;
  }
  char buffer[16384];
  std::uint8_t more = 1;
  int idleReads = 0;
  while (ok && more != 0) {
    std::uint32_t length = sizeof buffer;
    more = 0;
    if (stream.read(stream.producer, buffer, &length, &more) == 0) {
      error = "the plugin's body stream failed";
      ok = false;
    } else if (length > sizeof buffer || out.size() + length > limit) {
      error = "the plugin's body stream is longer than " + std::to_string(limit) + " bytes";
      ok = false;
    } else if (length == 0 && more != 0 && ++idleReads > kMaxIdleReads) {
      error = "the plugin's body stream stalled";
      ok = false;
    } else {
      if (length != 0) idleReads = 0;
      out.append(buffer, length);
    }
  }
  if (stream.release != nullptr) stream.release(stream.producer);
  return ok;
}

}  // namespace tev::devhost
