#include "host/host_api.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/endpoint_call.h"
#include "host/host_value_json.h"

namespace tev::devhost {

// What a local answer points into, kept until the plugin releases the answer.
struct LocalAnswerStorage {
  HostValueArena arena;
  std::string error;
  std::string stream;  // the streamed JSON text
  std::size_t offset = 0;
  std::atomic<std::uint64_t>* reads = nullptr;
};

namespace {

struct ExternalAnswerStorage {
  ExternalOutcome outcome;
  std::vector<HostHeader> headers;
};

// The storage of every answer not yet released, by the answer's address: the release functions
// get nothing but that address.
template <typename Answer, typename Storage>
class AnswerRegistry {
 public:
  void keep(Answer* answer, std::unique_ptr<Storage> storage) {
    const std::lock_guard<std::mutex> lock(mutex_);
    answers_[answer] = std::move(storage);
  }
  std::unique_ptr<Storage> take(Answer* answer) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = answers_.find(answer);
    if (it == answers_.end()) return nullptr;
    std::unique_ptr<Storage> storage = std::move(it->second);
    answers_.erase(it);
    return storage;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<Answer*, std::unique_ptr<Storage>> answers_;
};

AnswerRegistry<HostLocalAnswer, LocalAnswerStorage>& localAnswers() {
  static AnswerRegistry<HostLocalAnswer, LocalAnswerStorage> registry;
  return registry;
}

AnswerRegistry<HostExternalAnswer, ExternalAnswerStorage>& externalAnswers() {
  static AnswerRegistry<HostExternalAnswer, ExternalAnswerStorage> registry;
  return registry;
}

// Longest body the host reads from a plugin's own body stream for a local request.
constexpr std::size_t kMaxLocalStream = 16u * 1024 * 1024;

const char* orEmpty(const char* text) { return text != nullptr ? text : ""; }

// The plugin's host value as JSON, or false with `error`.
bool toJson(const HostValue& value, nlohmann::json& out, std::string& error) {
  std::string text;
  return writeHostValueJson(value, text, error) && parseJson(text, out, error);
}

void setError(HostLocalAnswer& answer, std::string& storage, std::int32_t status,
              std::string text) {
  storage = std::move(text);
  answer.error = storage.c_str();
  answer.hasError = 1;
  answer.status = status;
}

}  // namespace

HostApi::HostApi(HostLog& log, PluginGate& gate, EventBus& events, ResourceStore& resources,
                 const ExternalClient& external)
    : log_(log), gate_(gate), events_(events), resources_(resources), external_(external) {
  table_.api = HostPluginApi{&sendLocalRequest,
                             &sendExternalRequest,
                             &fireEvent,
                             &addEventHandler,
                             &removeEventHandler,
                             &function5,
                             &yield,
                             &beginWait,
                             &endWait,
                             &HostApi::log};
  table_.self = this;
}

HostApi::~HostApi() = default;

void HostApi::setEndpoints(const EndpointTable* endpoints) { endpoints_.store(endpoints); }

HostApi& HostApi::from(const HostPluginApi* api) {
  // The table is the first member of Table, so its address is the Table's.
  return *reinterpret_cast<const Table*>(api)->self;
}

void HostApi::sendLocalRequest(const HostPluginApi* api, HostLocalAnswer* answer,
                               const HostLocalRequest* request) {
  HostApi& self = from(api);
  if (answer == nullptr) return;
  ++self.localRequests_;
  auto storage = std::make_unique<LocalAnswerStorage>();
  storage->reads = &self.streamReads_;
  if (request == nullptr) {
    setError(*answer, storage->error, 400, "Local request without a request record");
  } else {
    self.answerLocal(*answer, *request, *storage);
  }
  answer->release = &releaseLocalAnswer;
  localAnswers().keep(answer, std::move(storage));
}

void HostApi::answerLocal(HostLocalAnswer& answer, const HostLocalRequest& request,
                          LocalAnswerStorage& storage) {
  const std::string target = orEmpty(request.target);
  const std::string_view path = std::string_view(target).substr(0, target.find('?'));
  const std::uint32_t method = request.method;
  if (log_.enabled(2)) {
    log_.line(2, "local " + std::string(methodText(method)) + " " + target + " from the plugin");
  }
  if (answerFromEndpoint(answer, request, path, storage)) return;

  if (method == kMethodPost && path.substr(0, std::strlen(kTelemetryPath)) == kTelemetryPath) {
    ++telemetry_;
    nlohmann::json parameters = nlohmann::json::object();
    for (std::uint32_t i = 0; request.parameters != nullptr && i < request.parameterCount; ++i) {
      const HostLocalParameter& parameter = request.parameters[i];
      nlohmann::json value;
      std::string error;
      if (!toJson(parameter.value, value, error)) value = "<unreadable: " + error + ">";
      parameters[orEmpty(parameter.name)] = std::move(value);
    }
    events_.note(std::string(path.substr(std::strlen(kTelemetryPath))), std::move(parameters),
                 "telemetry");
    answer.status = 200;
    return;
  }

  const std::optional<nlohmann::json> resource = resources_.get(path);
  if (!resource) {
    setError(answer, storage.error, 404, "Not found");
    return;
  }
  if (method != kMethodGet && method != kMethodAny) {
    setError(answer, storage.error, 405, "Method not allowed");
    return;
  }
  answer.status = 200;
  std::string text = dumpJson(*resource);
  if (text.size() <= kStreamThreshold) {
    answer.result = storage.arena.build(*resource);
    return;
  }
  ++streamedAnswers_;
  storage.stream = std::move(text);
  answer.read = &readStream;
  answer.streamRelease = &releaseStream;
  answer.expectedSize = storage.stream.size();
  answer.streamContext = &storage;
}

bool HostApi::answerFromEndpoint(HostLocalAnswer& answer, const HostLocalRequest& request,
                                 std::string_view path, LocalAnswerStorage& storage) {
  const EndpointTable* endpoints = endpoints_.load();
  if (endpoints == nullptr) return false;
  const EndpointTable::Match match = endpoints->find(request.method, "", path);
  if (match.route == nullptr) return false;

  EndpointCall call;
  call.method = request.method;
  call.target = match.route->targetFor(orEmpty(request.target));
  for (std::uint32_t i = 0; request.parameters != nullptr && i < request.parameterCount; ++i) {
    call.arguments.push_back(&request.parameters[i]);
  }
  // The plugin is calling itself: this thread is inside the gate already, and passes.
  const PluginGate::Shared inside(gate_);
  EndpointReply reply = callEndpoint(*match.route, call);
  if (reply.failed) {
    setError(answer, storage.error, reply.status, reply.error);
    if (reply.stream.producer != nullptr && reply.stream.release != nullptr) {
      reply.stream.release(reply.stream.producer);
    }
    return true;
  }
  answer.status = reply.status;
  if (reply.stream.producer != nullptr) {
    std::string error;
    if (!readBodyStream(reply.stream, kMaxLocalStream, storage.stream, error)) {
      setError(answer, storage.error, 500, error);
      return true;
    }
    ++streamedAnswers_;
    answer.read = &readStream;
    answer.streamRelease = &releaseStream;
    answer.expectedSize = storage.stream.size();
    answer.streamContext = &storage;
    return true;
  }
  nlohmann::json value;
  std::string error;
  if (!parseJson(reply.json, value, error)) {
    setError(answer, storage.error, 500, error);
    return true;
  }
  answer.result = storage.arena.build(value);
  return true;
}

std::uint8_t HostApi::readStream(void* context, char* buffer, std::uint32_t* length,
                                 std::uint8_t* more) {
  auto* storage = static_cast<LocalAnswerStorage*>(context);
  if (storage == nullptr || buffer == nullptr || length == nullptr || more == nullptr) return 0;
  ++*storage->reads;
  const std::size_t left = storage->stream.size() - storage->offset;
  const std::size_t segmentLeft = kStreamSegment - storage->offset % kStreamSegment;
  const std::size_t count = std::min({static_cast<std::size_t>(*length), left, segmentLeft});
  std::memcpy(buffer, storage->stream.data() + storage->offset, count);
  storage->offset += count;
  *length = static_cast<std::uint32_t>(count);
  *more = storage->offset < storage->stream.size() ? 1 : 0;
  return 1;
}

void HostApi::releaseStream(void*) {
  // The text lives with the answer, which the plugin releases next.
}

void HostApi::releaseLocalAnswer(HostLocalAnswer* answer) {
  if (answer == nullptr) return;
  if (localAnswers().take(answer) != nullptr) *answer = HostLocalAnswer{};
}

void HostApi::sendExternalRequest(const HostPluginApi* api, HostExternalAnswer* answer,
                                  const HostExternalRequest* request) {
  HostApi& self = from(api);
  if (answer == nullptr) return;
  ++self.externalRequests_;
  auto storage = std::make_unique<ExternalAnswerStorage>();
  if (request == nullptr) {
    storage->outcome.errorCode = kExternalNotSent;
    storage->outcome.body = "External request without a request record";
  } else {
    self.answerExternal(*request, storage->outcome);
  }
  const ExternalOutcome& outcome = storage->outcome;
  if (outcome.errorCode != 0) ++self.externalFailures_;
  for (const auto& [name, value] : outcome.headers) {
    storage->headers.push_back({name.c_str(), value.c_str()});
  }
  answer->errorCode = outcome.errorCode;
  answer->status = outcome.status;
  answer->headers = storage->headers.empty() ? nullptr : storage->headers.data();
  answer->headerCount = static_cast<std::uint32_t>(storage->headers.size());
  answer->body = outcome.body.c_str();
  answer->bodyLength = static_cast<std::uint32_t>(outcome.body.size());
  answer->release = &releaseExternalAnswer;
  externalAnswers().keep(answer, std::move(storage));
}

void HostApi::answerExternal(const HostExternalRequest& request, ExternalOutcome& outcome) {
  const std::string url = orEmpty(request.url);
  if (request.body == nullptr && request.bodyLength != 0) {
    outcome.errorCode = kExternalNotSent;
    outcome.body = "External request with a body length but no body";
    return;
  }
  if (request.headers == nullptr && request.headerCount != 0) {
    outcome.errorCode = kExternalNotSent;
    outcome.body = "External request with a header count but no headers";
    return;
  }
  std::vector<std::pair<std::string, std::string>> headers;
  for (std::uint32_t i = 0; i < request.headerCount; ++i) {
    headers.emplace_back(orEmpty(request.headers[i].name), orEmpty(request.headers[i].value));
  }
  const std::string_view body(reinterpret_cast<const char*>(request.body), request.bodyLength);
  const auto start = std::chrono::steady_clock::now();
  outcome = external_.send(request.method, url, headers, body);
  if (log_.enabled(2)) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    std::string text = "external " + std::string(methodText(request.method)) + " " + url + " -> ";
    text += outcome.errorCode == 0
                ? std::to_string(outcome.status)
                : "error " + std::to_string(outcome.errorCode) + ": " + outcome.body;
    text += " (" + std::to_string(ms) + " ms)";
    if (log_.enabled(3)) text += "\n  sent: " + std::string(body) + "\n  got: " + outcome.body;
    log_.line(2, text);
  }
}

void HostApi::releaseExternalAnswer(HostExternalAnswer* answer) {
  if (answer == nullptr) return;
  if (externalAnswers().take(answer) != nullptr) *answer = HostExternalAnswer{};
}

void HostApi::fireEvent(const HostPluginApi* api, const HostEvent* event) {
  HostApi& self = from(api);
  if (event == nullptr || event->name == nullptr) {
    self.log_.error("the plugin fired an event without a name; dropped");
    return;
  }
  ++self.eventsFired_;
  nlohmann::json payload;
  std::string error;
  const HostValue value = event->payload;
  if (!toJson(value, payload, error)) {
    self.log_.error("the plugin fired " + std::string(event->name) +
                    " with a payload the host cannot read (" + error + "); dropped");
    return;
  }
  static_cast<void>(self.events_.post(event->name, std::move(payload), event->word, "plugin"));
}

void HostApi::addEventHandler(const HostPluginApi* api, const char* name, std::uint32_t handle,
                              HostEventCallback callback, void* context, std::uint32_t flag) {
  HostApi& self = from(api);
  if (name == nullptr || callback == nullptr) {
    self.log_.error("the plugin added an event handler without name or callback; ignored");
    return;
  }
  ++self.handlersAdded_;
  self.events_.addHandler(name, handle, callback, context, flag);
  self.log_.line(2, "handler added for " + std::string(name));
}

void HostApi::removeEventHandler(const HostPluginApi* api, const char* name, std::uint32_t handle) {
  HostApi& self = from(api);
  if (name == nullptr) return;
  ++self.handlersRemoved_;
  const int removed = self.events_.removeHandlers(name, handle);
  self.log_.line(2,
                 "handler removed for " + std::string(name) + " (" + std::to_string(removed) + ")");
}

void HostApi::function5(const HostPluginApi* api, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                        double value, std::uint32_t d) {
  HostApi& self = from(api);
  ++self.function5Calls_;
  self.log_.line(3, "function 5 called with " + std::to_string(a) + ", " + std::to_string(b) +
                        ", " + std::to_string(c) + ", " + std::to_string(value) + ", " +
                        std::to_string(d));
}

void HostApi::yield(const HostPluginApi* api) {
  ++from(api).yields_;
  std::this_thread::yield();
}

void HostApi::beginWait(const HostPluginApi* api, const char* label, std::uint32_t flag) {
  HostApi& self = from(api);
  ++self.waits_;
  self.log_.line(3,
                 "wait begins: " + std::string(orEmpty(label)) + " (" + std::to_string(flag) + ")");
}

void HostApi::endWait(const HostPluginApi* api) { ++from(api).waitEnds_; }

void HostApi::log(const HostPluginApi* api, std::int32_t level, const char* message) {
  HostApi& self = from(api);
  ++self.logRecords_;
  self.log_.plugin(self.pluginName_, level, orEmpty(message));
}

nlohmann::json HostApi::counters() const {
  return {{"localRequests", localRequests_.load()},
          {"streamedAnswers", streamedAnswers_.load()},
          {"streamReads", streamReads_.load()},
          {"externalRequests", externalRequests_.load()},
          {"externalFailures", externalFailures_.load()},
          {"eventsFired", eventsFired_.load()},
          {"eventsDelivered", events_.delivered()},
          {"handlersAdded", handlersAdded_.load()},
          {"handlersRemoved", handlersRemoved_.load()},
          {"yields", yields_.load()},
          {"waitsBegun", waits_.load()},
          {"waitsEnded", waitEnds_.load()},
          {"function5Calls", function5Calls_.load()},
          {"logRecords", logRecords_.load()},
          {"telemetry", telemetry_.load()}};
}

}  // namespace tev::devhost
