// The host's events as server-sent events (GET /devhost/v1/events/stream): every event the bus
// sees, posted by the host, the control API or the plugin, goes to each connected browser as one
// message named after the event, with the journal entry as its JSON data. Each connection holds
// one of the local API's workers, so their number is capped; each has a bounded queue, and a
// client that falls behind is disconnected (a browser's EventSource reconnects by itself).
// Owned by the host; close() before the HTTP server stops, so no open stream holds it up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/event_bus.h"

namespace httplib {
struct Response;
}  // namespace httplib

namespace tev::devhost {

inline constexpr char kEventStreamContentType[] = "text/event-stream";

struct EventStreamLimits {
  std::size_t maxClients = 8;
  // Text waiting for one client; past it the client is disconnected.
  std::size_t maxQueuedBytes = 1024 * 1024;
  // An event whose message would be longer is sent without its payload, marked "truncated".
  std::size_t maxEventBytes = 256 * 1024;
  // A comment line is sent when nothing else was for this long, so dead connections surface.
  std::chrono::milliseconds heartbeat{15000};
  // What the browser waits before reconnecting.
  std::chrono::milliseconds retry{2000};
};

// One server-sent message: "id:", "event:" (left out for an empty name) and "data:" lines and
// a blank line. Line breaks and other control characters in `name` become "_"; `data` must hold
// no line break (compact JSON holds none).
std::string formatServerSentEvent(std::string_view name, std::uint64_t id, std::string_view data);

// The message for one journal entry of the bus: its name, and its id, name, source, word and
// payload as data; the payload is null and "truncated" true when the message would be longer
// than `maxBytes`.
std::string eventMessage(const nlohmann::json& entry, std::size_t maxBytes);

// What the stream and its clients share: the clients, the limits, the closed flag.
struct EventStreamShared;

class EventStream {
 public:
  enum class Next { kData, kIdle, kEnd };

  class Client {
   public:
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Waits at most `wait` for queued text and moves it into `out`. kData with text, kIdle when
    // nothing came, kEnd when the stream closed or this client fell too far behind (`out` then
    // holds nothing more to send).
    Next next(std::string& out, std::chrono::milliseconds wait);

   private:
    friend class EventStream;
    explicit Client(std::shared_ptr<EventStreamShared> shared);
    std::shared_ptr<EventStreamShared> shared_;
    std::string queued_;
    bool ended_ = false;
  };

  // Observes `bus` from now until destruction.
  EventStream(EventBus& bus, EventStreamLimits limits = {});
  ~EventStream();
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;

  // A new client that receives every later event, with the "retry:" line queued first; null when
  // maxClients are connected or the stream is closed.
  std::shared_ptr<Client> open();
  // Queues `message` for every client, disconnecting those whose queue would pass the limit.
  void publish(const std::string& message);
  // Ends every client's stream now and refuses new ones.
  void close();
  std::size_t clients() const;
  const EventStreamLimits& limits() const;

  // Answers a GET of the stream on `response`: a chunked text/event-stream, or 503 with
  // Retry-After when there is no room for another client.
  void serve(httplib::Response& response);

 private:
  EventBus& bus_;
  std::shared_ptr<EventStreamShared> shared_;
  std::uint64_t observer_ = 0;
};

}  // namespace tev::devhost
