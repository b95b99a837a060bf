// The host's events: the handlers the plugin registers by event name, and one delivery thread
// that calls them in the order events were posted, each delivery holding the plugin gate
// exclusively. Posting never calls a handler on the caller's thread, so the plugin may fire
// events from inside its own callbacks. Keeps the latest events for the control API.
// Thread-safe; stop() before the plugin is shut down.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/host_log.h"
#include "host/plugin_gate.h"
#include "platform/host_boundary.h"

namespace tev::devhost {

class EventBus {
 public:
  EventBus(PluginGate& gate, HostLog& log);
  ~EventBus();
  EventBus(const EventBus&) = delete;
  EventBus& operator=(const EventBus&) = delete;

  void start();
  // Delivers what is queued, then ends the delivery thread; later posts deliver nothing.
  void stop();

  // From now on `callback` runs for each event named `name`, with `context` in the record.
  void addHandler(const std::string& name, std::uint32_t handle, HostEventCallback callback,
                  void* context, std::uint32_t flag);
  // Removes the handlers of `name` registered with `handle`; none of them runs afterwards.
  // Returns how many were removed.
  int removeHandlers(const std::string& name, std::uint32_t handle);
  int handlerCount(const std::string& name) const;

  // Queues `payload` for the handlers of `name`. The future holds the number of handlers called
  // (0 when the bus is stopped). `source` says who fired it, for the journal.
  std::future<int> post(std::string name, nlohmann::json payload, std::uint32_t word,
                        std::string source);

  // Records an entry in the journal without delivering anything (telemetry, for example).
  void note(std::string name, nlohmann::json payload, std::string source);

  // Something that sees every event as it is posted or noted, as its journal entry. Observers run
  // under the bus's lock on the poster's thread: they must be quick and never call the bus.
  using Observer = std::function<void(const nlohmann::json& entry)>;
  // Returns an id for removeObserver; once that returns, the observer is not called again.
  std::uint64_t addObserver(Observer observer);
  void removeObserver(std::uint64_t id);

  // The latest events (at most 64), oldest first: name, source, word, handlers called (null
  // until delivered) and payload; and the registered handlers.
  nlohmann::json journal() const;
  nlohmann::json handlers() const;
  std::uint64_t delivered() const;

 private:
  struct Handler {
    std::uint64_t id;
    std::string name;
    std::uint32_t handle;
    HostEventCallback callback;
    void* context;
    std::uint32_t flag;
  };
  struct Pending {
    std::string name;
    nlohmann::json payload;
    std::uint32_t word;
    std::uint64_t journalId;
    std::promise<int> done;
  };

  void run();
  int deliver(Pending& event);
  bool registered(std::uint64_t id) const;
  void record(std::uint64_t journalId, int handlers);
  // Adds `entry` to the journal and shows it to the observers; the caller holds mutex_.
  void journalLocked(nlohmann::json entry);

  PluginGate& gate_;
  HostLog& log_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Handler> handlers_;
  std::uint64_t nextHandlerId_ = 1;
  std::deque<Pending> queue_;
  std::deque<nlohmann::json> journal_;
  std::vector<std::pair<std::uint64_t, Observer>> observers_;
  std::uint64_t nextObserverId_ = 1;
  std::uint64_t nextJournalId_ = 1;
  std::uint64_t delivered_ = 0;
  bool running_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tev::devhost
