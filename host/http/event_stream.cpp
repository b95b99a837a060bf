#include "host/http/event_stream.h"

#include <httplib.h>

#include <algorithm>
#include <utility>

#include "host/host_value_json.h"

namespace tev::devhost {

struct EventStreamShared {
  explicit EventStreamShared(EventStreamLimits limitsIn) : limits(limitsIn) {}

  const EventStreamLimits limits;
  std::mutex mutex;
  std::condition_variable wake;
  // Guarded by mutex, as are the queues and flags of the clients.
  std::vector<EventStream::Client*> clients;
  bool closed = false;
};

std::string formatServerSentEvent(std::string_view name, std::uint64_t id, std::string_view data) {
  std::string out;
  out.reserve(name.size() + data.size() + 40);
  out += "id: ";
  out += std::to_string(id);
  out += '\n';
  if (!name.empty()) {
    out += "event: ";
    // A line break would end the field early and let the rest pose as other fields.
    for (const char c : name) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '_' : c;
    out += '\n';
  }
  out += "data: ";
  out += data;
  out += "\n\n";
  return out;
}

std::string eventMessage(const nlohmann::json& entry, std::size_t maxBytes) {
  const auto member = [&entry](const char* key) {
    const auto it = entry.find(key);
    return it != entry.end() ? *it : nlohmann::json();
  };
  const nlohmann::json nameValue = member("name");
  const std::string name = nameValue.is_string() ? nameValue.get<std::string>() : std::string();
  const nlohmann::json idValue = member("id");
  const std::uint64_t id = idValue.is_number_unsigned() ? idValue.get<std::uint64_t>() : 0;
  nlohmann::json data = {{"id", id},
                         {"name", name},
                         {"source", member("source")},
                         {"word", member("word")},
                         {"payload", member("payload")}};
  std::string message = formatServerSentEvent(name, id, dumpJson(data));
  if (message.size() <= maxBytes) return message;
  data["payload"] = nullptr;
  data["truncated"] = true;
  return formatServerSentEvent(name, id, dumpJson(data));
}

EventStream::Client::Client(std::shared_ptr<EventStreamShared> shared)
    : shared_(std::move(shared)) {}

EventStream::Client::~Client() {
  const std::lock_guard<std::mutex> lock(shared_->mutex);
  std::erase(shared_->clients, this);
}

EventStream::Next EventStream::Client::next(std::string& out, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->wake.wait_for(lock, wait, [this] { return ended_ || !queued_.empty(); });
  if (ended_) {
    queued_.clear();
    return Next::kEnd;
  }
  if (queued_.empty()) return Next::kIdle;
  out.clear();
  out.swap(queued_);
  return Next::kData;
}

EventStream::EventStream(EventBus& bus, EventStreamLimits limits)
    : bus_(bus), shared_(std::make_shared<EventStreamShared>(limits)) {
  const std::size_t maxEventBytes = limits.maxEventBytes;
  observer_ = bus_.addObserver([this, maxEventBytes](const nlohmann::json& entry) {
    publish(eventMessage(entry, maxEventBytes));
  });
}

EventStream::~EventStream() {
  bus_.removeObserver(observer_);
  close();
}

std::shared_ptr<EventStream::Client> EventStream::open() {
  const std::lock_guard<std::mutex> lock(shared_->mutex);
  if (shared_->closed || shared_->clients.size() >= shared_->limits.maxClients) return nullptr;
  std::shared_ptr<Client> client(new Client(shared_));
  client->queued_ = "retry: " + std::to_string(shared_->limits.retry.count()) + "\n\n";
  shared_->clients.push_back(client.get());
  return client;
}

void EventStream::publish(const std::string& message) {
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    for (Client* client : shared_->clients) {
      if (client->ended_) continue;
      if (client->queued_.size() + message.size() > shared_->limits.maxQueuedBytes) {
        // It does not keep up: it reconnects and starts afresh rather than hold more memory.
        client->ended_ = true;
        std::string().swap(client->queued_);
        continue;
      }
      client->queued_ += message;
    }
  }
  shared_->wake.notify_all();
}

void EventStream::close() {
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->closed = true;
    for (Client* client : shared_->clients) client->ended_ = true;
  }
  shared_->wake.notify_all();
}

std::size_t EventStream::clients() const {
  const std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->clients.size();
}

const EventStreamLimits& EventStream::limits() const { return shared_->limits; }

void EventStream::serve(httplib::Response& response) {
  std::shared_ptr<Client> client = open();
  if (client == nullptr) {
    response.status = 503;
    response.set_header("Retry-After", "5");
    response.set_content(dumpJson({{"error", "Too many event streams are open; close one"}}),
                         "application/json; charset=utf-8");
    return;
  }
  response.set_header("Cache-Control", "no-store");
  response.set_header("X-Accel-Buffering", "no");
  const std::chrono::milliseconds heartbeat = shared_->limits.heartbeat;
  response.set_chunked_content_provider(kEventStreamContentType,
                                        [client, heartbeat](std::size_t, httplib::DataSink& sink) {
                                          std::string text;
                                          switch (client->next(text, heartbeat)) {
                                            case Next::kEnd:
                                              sink.done();
                                              return true;
                                            case Next::kIdle:
                                              text = ": keep-alive\n\n";
                                              break;
                                            case Next::kData:
                                              break;
                                          }
                                          // A write to a client that stopped reading fails after
                                          // the server's write timeout.
                                          return sink.write(text.data(), text.size());
                                        });
}

}  // namespace tev::devhost
