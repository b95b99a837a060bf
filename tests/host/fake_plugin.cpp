// A plugin library written against the host-boundary records alone, without the framework:
// endpoints that stream bodies, fail, or answer in ways a careless plugin might, so the tests
// see how the host copes. Loaded by the host through its entry like any plugin.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/host_boundary.h"

namespace {

enum Endpoint {
  kEcho,
  kStream,
  kStreamFails,
  kBadStatus,
  kBadValue,
  kErrorDefault,
  kCounts,
  kCount
};

struct Route {
  const char* name;
  const char* path;
};
constexpr Route kRoutes[kCount] = {{"GetFakeEcho", "/fake/echo"},
                                   {"GetFakeStream", "/fake/stream"},
                                   {"GetFakeStreamFails", "/fake/stream-fails"},
                                   {"GetFakeBadStatus", "/fake/bad-status"},
                                   {"GetFakeBadValue", "/fake/bad-value"},
                                   {"GetFakeErrorDefault", "/fake/error-default"},
                                   {"GetFakeCounts", "/fake/counts"}};

constexpr int kStreamPieces = 5;
constexpr std::uint32_t kPieceSize = 10000;

std::atomic<int> gResponses{0};
std::atomic<int> gCleanups{0};
std::atomic<int> gStreamsReleased{0};
int gEndpointIds[kCount];
ApiEndpointEntry gEntries[kCount];
PluginApiTable gTable;
PluginEntryTable gEntryTable;
const char* const kNoTags[] = {""};

struct Producer {
  bool fails;
  int piecesSent = 0;
};

std::uint8_t readBody(void* context, char* buffer, std::uint32_t* length, std::uint8_t* more) {
  auto* producer = static_cast<Producer*>(context);
  if (producer->fails && producer->piecesSent == 1) return 0;
  const std::uint32_t size = *length < kPieceSize ? *length : kPieceSize;
  std::memset(buffer, 'a' + producer->piecesSent, size);
  *length = size;
  *more = ++producer->piecesSent < kStreamPieces ? 1 : 0;
  return 1;
}

void releaseBody(void* context) {
  delete static_cast<Producer*>(context);
  ++gStreamsReleased;
}

void cleanup(HostEndpointResponse* response) {
  ++gCleanups;
  const HostValue result = response->result;
  if (result.type == kHostValueOwnedString)
    std::free(const_cast<char*>(result.payload.string.text));
  std::free(response->error);
  *response = HostEndpointResponse{};
}

HostValue text(const std::string& value) {
  HostValue out{};
  out.type = kHostValueOwnedString;
  out.payload.string.text = strdup(value.c_str());
  out.payload.string.length = static_cast<std::uint32_t>(value.size());
  return out;
}

// The request as one JSON text, for the test to read back.
std::string describe(const HostEndpointRequest& request) {
  std::string headers;
  for (std::uint32_t i = 0; i < request.headerCount; ++i) {
    const std::string name = request.headers[i].name;
    if (name != "x-token" && name != "content-type") continue;
    headers += (headers.empty() ? "\"" : ",\"") + name + "\":\"" + request.headers[i].value + "\"";
  }
  char line[512];
  std::snprintf(line, sizeof line,
                "{\"method\":%u,\"target\":\"%s\",\"contentType\":\"%s\",\"bodyLength\":%u,"
                "\"headers\":{%s}}",
                request.method, request.target, request.contentType, request.bodyLength,
                headers.c_str());
  return line;
}

void callback(HostEndpointResponse* response, const HostEndpointRequest* request) {
  ++gResponses;
  *response = HostEndpointResponse{};
  response->cleanup = &cleanup;
  switch (*static_cast<const int*>(request->context)) {
    case kEcho:
      response->result = text(describe(*request));
      break;
    case kStream:
    case kStreamFails: {
      auto* producer = new Producer{*static_cast<const int*>(request->context) == kStreamFails};
      response->bodyProducer = producer;
      response->readBody = &readBody;
      response->releaseBody = &releaseBody;
      response->bodySize = kStreamPieces * kPieceSize;
      break;
    }
    case kBadStatus:
      response->status = 42;
      break;
    case kBadValue: {
      HostValue odd{};
      odd.type = 11;
      response->result = odd;
      break;
    }
    case kErrorDefault:
      response->error = strdup("broken");
      response->hasError = 1;
      break;
    case kCounts: {
      char counts[128];
      std::snprintf(counts, sizeof counts,
                    "{\"responses\":%d,\"cleanups\":%d,\"streamsReleased\":%d}", gResponses.load(),
                    gCleanups.load(), gStreamsReleased.load());
      response->result = text(counts);
      break;
    }
    default:
      break;
  }
}

std::uint8_t initialize(void*, const HostConnection*) { return 1; }
void shutdown(void*) {}
void memoryStatistics(void*, MemoryStatistics* out) { *out = MemoryStatistics{}; }

}  // namespace

extern "C" TEV_PLUGIN_EXPORT void load_devhost_fake_plugin(PluginDescriptor* descriptor) {
  for (int i = 0; i < kCount; ++i) {
    gEndpointIds[i] = i;
    ApiEndpointEntry& entry = gEntries[i];
    entry = ApiEndpointEntry{};
    entry.function.next = i + 1 < kCount ? &gEntries[i + 1].function : nullptr;
    entry.function.context = &gEndpointIds[i];
    entry.function.name = kRoutes[i].name;
    entry.function.nameSpace = "DevhostFake";
    entry.function.returnTypeName = "";
    entry.function.description = "";
    entry.function.help = "";
    entry.function.asyncTypeName = "";
    entry.function.tags = kNoTags;
    entry.callback = &callback;
    entry.pathTemplate = kRoutes[i].path;
    entry.method = i == kEcho ? 0 : 2;  // echo: any method; the others GET
    entry.methodText = "";
  }
  gTable = PluginApiTable{gEntries, kCount, nullptr, 0, nullptr, 0};
  gEntryTable = PluginEntryTable{&initialize, &shutdown, &memoryStatistics};
  descriptor->major = 18;
  descriptor->minor = 0;
  descriptor->patch = 0;
  descriptor->entryTable = &gEntryTable;
  descriptor->context = &gTable;
  descriptor->shortName = "devhost-fake-plugin";
  descriptor->apiTable = &gTable;
}
