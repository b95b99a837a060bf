#include "tests/plugin/test_host.h"

#include <algorithm>
#include <cstring>

#include "platform/shared_library.h"

namespace plugintest {

// One streamed answer: the pieces still to hand out.
struct TestHost::Stream {
  TestHost* host = nullptr;
  std::vector<std::string> pieces;
  std::size_t next = 0;
  int reads = 0;
  int failReadAt = -1;
};

namespace {

std::string text(const char* value) { return value != nullptr ? value : ""; }

// The host the answers' release functions report to (one host at a time).
TestHost* gActiveHost = nullptr;

}  // namespace

TestHost::TestHost() {
  table_.api.sendLocalRequest = &TestHost::sendLocalRequest;
  table_.api.sendExternalRequest = &TestHost::sendExternalRequest;
  table_.api.fireEvent = &TestHost::fireEvent;
  table_.api.addEventHandler = &TestHost::addEventHandler;
  table_.api.removeEventHandler = &TestHost::removeEventHandler;
  table_.api.function5 = &TestHost::function5;
  table_.api.yield = &TestHost::yield;
  table_.api.beginWait = &TestHost::beginWait;
  table_.api.endWait = &TestHost::endWait;
  table_.api.log = &TestHost::log;
  table_.host = this;
  gActiveHost = this;
}

TestHost::~TestHost() {
  if (loaded()) shutdown();
  for (Stream* stream : streams_) delete stream;
  tev::platform::closeSharedLibrary(library_);
  if (gActiveHost == this) gActiveHost = nullptr;
}

TestHost& TestHost::from(const HostPluginApi* api) {
  return *reinterpret_cast<const Table*>(api)->host;
}

bool TestHost::open(const std::string& path, const char* entryName) {
  library_ = tev::platform::openSharedLibrary(path.c_str());
  if (library_ == nullptr) return false;
  entry_ = reinterpret_cast<PluginEntryFunction>(
      tev::platform::findLibraryFunction(library_, entryName));
  return entry_ != nullptr;
}

void TestHost::load(std::uint32_t major, std::uint32_t minor, std::uint32_t patch,
                    std::uintptr_t fill) {
  std::memset(&descriptor_, 0, sizeof descriptor_);
  descriptor_.major = major;
  descriptor_.minor = minor;
  descriptor_.patch = patch;
  descriptor_.entryTable = reinterpret_cast<const PluginEntryTable*>(fill);
  descriptor_.context = reinterpret_cast<void*>(fill);
  descriptor_.shortName = reinterpret_cast<const char*>(fill);
  descriptor_.apiTable = reinterpret_cast<const PluginApiTable*>(fill);
  entry_(&descriptor_);
  if (descriptor_.entryTable != reinterpret_cast<const PluginEntryTable*>(fill)) {
    savedEntries_ = *descriptor_.entryTable;
  }
  if (fill != 0 && descriptor_.entryTable == reinterpret_cast<const PluginEntryTable*>(fill)) {
    descriptor_.entryTable = nullptr;
  }
}

bool TestHost::initialize(std::uint32_t pluginHandle) {
  connection_.api = &table_.api;
  connection_.pluginHandle = pluginHandle;
  initialized_ = true;
  // A copy on the stack: the plugin may only read the record during the call.
  HostConnection connection = connection_;
  const bool started = descriptor_.entryTable->initialize(descriptor_.context, &connection) != 0;
  std::memset(&connection, 0xEE, sizeof connection);
  return started;
}

void TestHost::shutdown() {
  if (!loaded()) return;
  descriptor_.entryTable->shutdown(descriptor_.context);
  descriptor_.entryTable = nullptr;
  descriptor_.context = nullptr;
}

MemoryStatistics TestHost::memoryStatistics(std::uint8_t fill) const {
  MemoryStatistics statistics;
  std::memset(&statistics, fill, sizeof statistics);
  // The context is not used, so a host may ask after Shutdown while the library is loaded; the
  // table itself lives in the plugin object, so the host keeps its own copy of the function.
  if (savedEntries_.getMemoryStatistics != nullptr) {
    savedEntries_.getMemoryStatistics(nullptr, &statistics);
  }
  return statistics;
}

int TestHost::deliver(const std::string& name, const std::string& payloadJson, std::uint32_t word) {
  const HostValue payload = values_.fromJson(payloadJson);
  // Handlers may come and go while events are delivered; deliver to the ones present now.
  const std::vector<EventHandlerRecord> current = handlers;
  int delivered = 0;
  for (const EventHandlerRecord& handler : current) {
    if (handler.name != name) continue;
    HostEvent event{};
    event.name = values_.keep(name);
    event.payload = payload;
    event.word = word;
    event.context = handler.context;
    handler.callback(&event);
    ++delivered;
  }
  return delivered;
}

int TestHost::deliverResource(const std::string& eventName, const std::string& uri,
                              const std::string& eventType, const std::string& dataJson) {
  return deliver(eventName, "{\"uri\":\"" + uri + "\",\"eventType\":" + eventType +
                                ",\"data\":" + dataJson + "}");
}

std::vector<std::string> TestHost::endpoints() const {
  std::vector<std::string> list;
  if (descriptor_.apiTable == nullptr) return list;
  const PluginApiTable& table = *descriptor_.apiTable;
  for (std::uint32_t i = 0; i < table.endpointCount; ++i) {
    const ApiEndpointEntry& entry = table.endpoints[i];
    list.push_back(std::to_string(entry.method) + " " + text(entry.pathTemplate) + " " +
                   text(entry.function.name));
  }
  return list;
}

EndpointAnswer TestHost::call(std::uint32_t method, const std::string& pathTemplate,
                              const std::string& target, const std::string& body,
                              const std::string& contentType) {
  EndpointAnswer answer;
  const PluginApiTable* table = descriptor_.apiTable;
  if (table == nullptr) return answer;
  const ApiEndpointEntry* found = nullptr;
  for (std::uint32_t i = 0; i < table->endpointCount; ++i) {
    const ApiEndpointEntry& entry = table->endpoints[i];
    if (entry.method == method && text(entry.pathTemplate) == pathTemplate) found = &entry;
  }
  if (found == nullptr) return answer;
  answer.found = true;
  HostEndpointRequest request{};
  request.method = method;
  request.target = target.c_str();
  request.context = found->function.context;
  request.contentType = contentType.c_str();
  if (!body.empty()) {
    request.body = body.data();
    request.bodyLength = static_cast<std::uint32_t>(body.size());
  }
  HostEndpointResponse response{};
  found->callback(&response, &request);
  answer.result = toJson(response.result);
  answer.hasError = response.hasError != 0;
  answer.error = text(response.error);
  answer.status = response.status;
  for (std::uint32_t i = 0; i < response.headerCount; ++i) {
    answer.headers.emplace_back(text(response.headers[i].name), text(response.headers[i].value));
  }
  if (response.cleanup != nullptr) response.cleanup(&response);
  return answer;
}

void TestHost::sendLocalRequest(const HostPluginApi* api, HostLocalAnswer* answer,
                                const HostLocalRequest* request) {
  TestHost& host = from(api);
  LocalCall call;
  call.method = request->method;
  call.target = text(request->target);
  call.pluginHandle = request->pluginHandle;
  for (std::uint32_t i = 0; i < request->parameterCount; ++i) {
    call.parameters.emplace_back(text(request->parameters[i].name),
                                 toJson(request->parameters[i].value));
  }
  host.calls.push_back("sendLocalRequest " + std::to_string(call.method) + " " + call.target);
  host.localCalls.push_back(call);
  answer->release = &TestHost::releaseLocalAnswer;
  auto reply = host.localReplies_.find(call.target);
  if (reply == host.localReplies_.end()) {
    answer->error = "Not found";
    answer->hasError = 1;
    answer->status = 404;
    return;
  }
  const LocalReply& scripted = reply->second;
  answer->status = scripted.status;
  if (scripted.error) {
    answer->error = host.values_.keep(*scripted.error);
    answer->hasError = 1;
    return;
  }
  if (!scripted.streamPieces.empty()) {
    auto* stream = new Stream;
    stream->host = &host;
    stream->pieces = scripted.streamPieces;
    stream->failReadAt = scripted.failReadAt;
    host.streams_.push_back(stream);
    answer->read = &TestHost::readStream;
    answer->streamRelease = &TestHost::releaseStream;
    answer->streamContext = stream;
    answer->expectedSize = scripted.expectedSize;
    return;
  }
  answer->result = host.values_.fromJson(scripted.json);
}

std::uint8_t TestHost::readStream(void* context, char* buffer, std::uint32_t* length,
                                  std::uint8_t* more) {
  Stream& stream = *static_cast<Stream*>(context);
  ++stream.host->streamReads;
  stream.host->calls.push_back("read");
  if (stream.reads++ == stream.failReadAt) return 0;
  if (stream.next >= stream.pieces.size()) {
    *length = 0;
    *more = 0;
    return 1;
  }
  const std::string& piece = stream.pieces[stream.next++];
  const std::uint32_t count =
      std::min<std::uint32_t>(*length, static_cast<std::uint32_t>(piece.size()));
  std::memcpy(buffer, piece.data(), count);
  *length = count;
  *more = stream.next < stream.pieces.size() ? 1 : 0;
  return 1;
}

void TestHost::releaseStream(void* context) {
  Stream& stream = *static_cast<Stream*>(context);
  ++stream.host->streamReleases;
  stream.host->calls.push_back("releaseStream");
}

void TestHost::releaseLocalAnswer(HostLocalAnswer* answer) {
  static_cast<void>(answer);
  if (gActiveHost != nullptr) {
    ++gActiveHost->answerReleases;
    gActiveHost->calls.push_back("releaseLocalAnswer");
  }
}

void TestHost::sendExternalRequest(const HostPluginApi* api, HostExternalAnswer* answer,
                                   const HostExternalRequest* request) {
  TestHost& host = from(api);
  ExternalCall call;
  call.method = request->method;
  call.url = text(request->url);
  for (std::uint32_t i = 0; i < request->headerCount; ++i) {
    call.headers.emplace_back(text(request->headers[i].name), text(request->headers[i].value));
  }
  if (request->body != nullptr) {
    call.body.assign(reinterpret_cast<const char*>(request->body), request->bodyLength);
  }
  call.parameter = request->parameter;
  call.flag = request->flag;
  host.calls.push_back("sendExternalRequest " + std::to_string(call.method) + " " + call.url);
  host.externalCalls.push_back(call);
  answer->release = &TestHost::releaseExternalAnswer;
  auto reply = host.externalReplies_.find(call.url);
  if (reply == host.externalReplies_.end()) {
    answer->errorCode = 7;
    answer->body = host.values_.keep("no route to host");
    answer->bodyLength = static_cast<std::uint32_t>(std::strlen(answer->body));
    return;
  }
  const ExternalReply& scripted = reply->second;
  answer->errorCode = scripted.errorCode;
  answer->status = scripted.status;
  host.externalHeaders_.clear();
  for (const auto& [name, value] : scripted.headers) {
    host.externalHeaders_.push_back(HostHeader{host.values_.keep(name), host.values_.keep(value)});
  }
  answer->headers = scripted.nullHeaders ? nullptr : host.externalHeaders_.data();
  answer->headerCount = static_cast<std::uint32_t>(scripted.headers.size());
  if (scripted.body) {
    const char* body = host.values_.keep(*scripted.body);
    answer->body = body;
    answer->bodyLength = static_cast<std::uint32_t>(scripted.body->size());
  }
}

void TestHost::releaseExternalAnswer(HostExternalAnswer* answer) {
  static_cast<void>(answer);
  if (gActiveHost != nullptr) {
    ++gActiveHost->answerReleases;
    gActiveHost->calls.push_back("releaseExternalAnswer");
  }
}

void TestHost::fireEvent(const HostPluginApi* api, const HostEvent* event) {
  TestHost& host = from(api);
  FiredEvent fired;
  fired.name = text(event->name);
  fired.payload = toJson(event->payload);
  fired.word = event->word;
  fired.context = event->context;
  host.calls.push_back("fireEvent " + fired.name);
  host.firedEvents.push_back(fired);
}

void TestHost::addEventHandler(const HostPluginApi* api, const char* name, std::uint32_t handle,
                               HostEventCallback callback, void* context, std::uint32_t flag) {
  TestHost& host = from(api);
  host.calls.push_back("addEventHandler " + text(name) + " " + std::to_string(flag));
  host.handlers.push_back(EventHandlerRecord{text(name), handle, callback, context, flag});
}

void TestHost::removeEventHandler(const HostPluginApi* api, const char* name,
                                  std::uint32_t handle) {
  TestHost& host = from(api);
  host.calls.push_back("removeEventHandler " + text(name));
  host.removedHandlers.push_back(text(name));
  auto& list = host.handlers;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const EventHandlerRecord& record) {
                              return record.name == text(name) && record.handle == handle;
                            }),
             list.end());
}

void TestHost::function5(const HostPluginApi* api, std::uint32_t, std::uint32_t, std::uint32_t,
                         double, std::uint32_t) {
  from(api).calls.push_back("function5");
}

void TestHost::yield(const HostPluginApi* api) { from(api).calls.push_back("yield"); }

void TestHost::beginWait(const HostPluginApi* api, const char* label, std::uint32_t flag) {
  from(api).calls.push_back("beginWait " + text(label) + " " + std::to_string(flag));
}

void TestHost::endWait(const HostPluginApi* api) { from(api).calls.push_back("endWait"); }

void TestHost::log(const HostPluginApi* api, std::int32_t level, const char* message) {
  TestHost& host = from(api);
  host.calls.push_back("log " + std::to_string(level));
  host.logLines.push_back(LogLine{level, text(message)});
}

}  // namespace plugintest
