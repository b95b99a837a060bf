// A host for the tests: loads a plugin library, calls its exported entry with a descriptor and
// drives it only through the descriptor, the entry table and the API table, as a real host does.
// Its HostPluginApi records every call, answers local and external requests from scripted
// replies (an unscripted target gets a 404 error), and delivers events to the handlers the
// plugin registered. One host per test; not thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/host_boundary.h"
#include "tests/plugin/host_values.h"

namespace plugintest {

using Headers = std::vector<std::pair<std::string, std::string>>;

// A scripted answer to a local request.
struct LocalReply {
  std::string json = "null";         // the result, unless streamed or failed
  std::optional<std::string> error;  // set: the request fails with this text
  std::int32_t status = 200;
  std::vector<std::string> streamPieces;  // non-empty: the result is streamed, one piece per read
  std::uint64_t expectedSize = 0;
  int failReadAt = -1;  // the read call (0-based) that reports failure
};

// A scripted answer to an external request.
struct ExternalReply {
  std::int32_t errorCode = 0;
  std::int32_t status = 200;
  Headers headers;
  bool nullHeaders = false;  // headers pointer null with the count of `headers`
  std::optional<std::string> body;
};

struct LocalCall {
  std::uint32_t method = 0;
  std::string target;
  std::vector<std::pair<std::string, std::string>> parameters;  // name, value as JSON
  std::uint32_t pluginHandle = 0;
};

struct ExternalCall {
  std::uint32_t method = 0;
  std::string url;
  Headers headers;
  std::string body;
  std::uint32_t parameter = 0;
  std::uint8_t flag = 0;
};

struct EventHandlerRecord {
  std::string name;
  std::uint32_t handle = 0;
  HostEventCallback callback = nullptr;
  void* context = nullptr;
  std::uint32_t flag = 0;
};

struct FiredEvent {
  std::string name;
  std::string payload;  // JSON
  std::uint32_t word = 0;
  void* context = nullptr;
};

struct LogLine {
  std::int32_t level = 0;
  std::string message;
};

// What an endpoint answered.
struct EndpointAnswer {
  bool found = false;  // an endpoint with that method and path template exists
  std::string result;  // the result value as JSON
  bool hasError = false;
  std::string error;
  std::int32_t status = 0;
  std::vector<std::pair<std::string, std::string>> headers;
};

class TestHost {
 public:
  TestHost();
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // Loads the library and finds `entryName`; false when either is missing.
  bool open(const std::string& path, const char* entryName);
  // Calls the entry with a descriptor holding the version (the output words hold `fill`).
  void load(std::uint32_t major, std::uint32_t minor, std::uint32_t patch, std::uintptr_t fill = 0);
  PluginDescriptor& descriptor() { return descriptor_; }
  bool loaded() const { return descriptor_.entryTable != nullptr; }

  // The entry table's functions.
  bool initialize(std::uint32_t pluginHandle = 0x51);
  void shutdown();
  MemoryStatistics memoryStatistics(std::uint8_t fill = 0xA5) const;

  // Scripted answers, by target (local) or URL (external).
  void replyLocal(const std::string& target, LocalReply reply) { localReplies_[target] = reply; }
  void replyExternal(const std::string& url, ExternalReply reply) {
    externalReplies_[url] = std::move(reply);
  }

  // Delivers an event to every handler registered under `name`, with a payload built from JSON.
  // Returns the number of handlers called.
  int deliver(const std::string& name, const std::string& payloadJson, std::uint32_t word = 0);
  // Delivers a resource event {uri, eventType, data} under the resource's event name.
  int deliverResource(const std::string& eventName, const std::string& uri,
                      const std::string& eventType, const std::string& dataJson);

  // Calls the endpoint whose method and path template match, through its request callback.
  EndpointAnswer call(std::uint32_t method, const std::string& pathTemplate,
                      const std::string& target, const std::string& body = "",
                      const std::string& contentType = "application/json");
  // Every endpoint of the API table as "<method> <path template> <name>".
  std::vector<std::string> endpoints() const;

  const HostPluginApi* api() const { return &table_.api; }

  // Every host function called, in order, as a short text such as "yield" or
  // "addEventHandler OnJsonApiEvent_a 0".
  std::vector<std::string> calls;
  std::vector<LocalCall> localCalls;
  std::vector<ExternalCall> externalCalls;
  std::vector<EventHandlerRecord> handlers;  // currently registered
  std::vector<std::string> removedHandlers;
  std::vector<FiredEvent> firedEvents;
  std::vector<LogLine> logLines;
  int streamReads = 0;
  int streamReleases = 0;
  int answerReleases = 0;

 private:
  struct Table {
    HostPluginApi api;
    TestHost* host;
  };
  struct Stream;

  static TestHost& from(const HostPluginApi* api);
  static void sendLocalRequest(const HostPluginApi* api, HostLocalAnswer* answer,
                               const HostLocalRequest* request);
  static void sendExternalRequest(const HostPluginApi* api, HostExternalAnswer* answer,
                                  const HostExternalRequest* request);
  static void fireEvent(const HostPluginApi* api, const HostEvent* event);
  static void addEventHandler(const HostPluginApi* api, const char* name, std::uint32_t handle,
                              HostEventCallback callback, void* context, std::uint32_t flag);
  static void removeEventHandler(const HostPluginApi* api, const char* name, std::uint32_t handle);
  static void function5(const HostPluginApi* api, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                        double value, std::uint32_t d);
  static void yield(const HostPluginApi* api);
  static void beginWait(const HostPluginApi* api, const char* label, std::uint32_t flag);
  static void endWait(const HostPluginApi* api);
  static void log(const HostPluginApi* api, std::int32_t level, const char* message);
  static std::uint8_t readStream(void* context, char* buffer, std::uint32_t* length,
                                 std::uint8_t* more);
  static void releaseStream(void* context);
  static void releaseLocalAnswer(HostLocalAnswer* answer);
  static void releaseExternalAnswer(HostExternalAnswer* answer);

  Table table_;
  void* library_ = nullptr;
  PluginEntryFunction entry_ = nullptr;
  PluginEntryTable savedEntries_{};
  PluginDescriptor descriptor_{};
  HostConnection connection_{};
  bool initialized_ = false;
  std::map<std::string, LocalReply> localReplies_;
  std::map<std::string, ExternalReply> externalReplies_;
  HostValueStore values_;
  std::vector<Stream*> streams_;
  std::vector<HostHeader> externalHeaders_;
  std::string externalBody_;
};

}  // namespace plugintest
