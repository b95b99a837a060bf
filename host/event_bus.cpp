#include "host/event_bus.h"

#include <algorithm>
#include <utility>

#include "host/host_value_json.h"

namespace tev::devhost {
namespace {

constexpr std::size_t kJournalSize = 64;

}  // namespace

EventBus::EventBus(PluginGate& gate, HostLog& log) : gate_(gate), log_(log) {}

EventBus::~EventBus() { stop(); }

void EventBus::start() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (running_ || stopping_) return;
  running_ = true;
  thread_ = std::thread([this] { run(); });
}

void EventBus::stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  // Nothing delivers any more: whoever waits learns that nobody was called.
  std::deque<Pending> rest;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    rest.swap(queue_);
  }
  for (Pending& event : rest) event.done.set_value(0);
}

void EventBus::addHandler(const std::string& name, std::uint32_t handle, HostEventCallback callback,
                          void* context, std::uint32_t flag) {
  const std::lock_guard<std::mutex> lock(mutex_);
  handlers_.push_back(Handler{nextHandlerId_++, name, handle, callback, context, flag});
}

int EventBus::removeHandlers(const std::string& name, std::uint32_t handle) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto before = handlers_.size();
  std::erase_if(handlers_, [&](const Handler& h) { return h.name == name && h.handle == handle; });
  return static_cast<int>(before - handlers_.size());
}

int EventBus::handlerCount(const std::string& name) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(std::count_if(handlers_.begin(), handlers_.end(),
                                        [&](const Handler& h) { return h.name == name; }));
}

std::future<int> EventBus::post(std::string name, nlohmann::json payload, std::uint32_t word,
                                std::string source) {
  Pending event{std::move(name), std::move(payload), word, 0, {}};
  std::future<int> done = event.done.get_future();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    event.journalId = nextJournalId_++;
    journalLocked(nlohmann::json{{"id", event.journalId},
                                 {"name", event.name},
                                 {"source", std::move(source)},
                                 {"word", word},
                                 {"handlers", nullptr},
                                 {"payload", event.payload}});
    if (!running_ || stopping_) {
      event.done.set_value(0);
      return done;
    }
    queue_.push_back(std::move(event));
  }
  wake_.notify_all();
  return done;
}

void EventBus::note(std::string name, nlohmann::json payload, std::string source) {
  const std::lock_guard<std::mutex> lock(mutex_);
  journalLocked(nlohmann::json{{"id", nextJournalId_++},
                               {"name", std::move(name)},
                               {"source", std::move(source)},
                               {"word", 0},
                               {"handlers", 0},
                               {"payload", std::move(payload)}});
}

std::uint64_t EventBus::addObserver(Observer observer) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const std::uint64_t id = nextObserverId_++;
  observers_.emplace_back(id, std::move(observer));
  return id;
}

void EventBus::removeObserver(std::uint64_t id) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

void EventBus::journalLocked(nlohmann::json entry) {
  for (const auto& [id, observer] : observers_) observer(entry);
  journal_.push_back(std::move(entry));
  if (journal_.size() > kJournalSize) journal_.pop_front();
}

void EventBus::run() {
  for (;;) {
    Pending event;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      event = std::move(queue_.front());
      queue_.pop_front();
    }
    const int called = deliver(event);
    record(event.journalId, called);
    event.done.set_value(called);
  }
}

int EventBus::deliver(Pending& event) {
  std::vector<Handler> targets;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const Handler& h : handlers_) {
      if (h.name == event.name) targets.push_back(h);
    }
  }
  if (log_.enabled(2)) {
    std::string text =
        "event " + event.name + " to " + std::to_string(targets.size()) + " handler(s)";
    if (log_.enabled(3)) text += ": " + dumpJson(event.payload);
    log_.line(2, text);
  }
  if (targets.empty()) return 0;
  HostValueArena arena;
  HostEvent record{};
  record.name = event.name.c_str();
  record.payload = arena.build(event.payload);
  record.word = event.word;
  int called = 0;
  const PluginGate::Exclusive inside(gate_);
  for (const Handler& h : targets) {
    // A handler removed by an earlier callback of this same event must not run.
    if (!registered(h.id)) continue;
    record.context = h.context;
    h.callback(&record);
    ++called;
  }
  return called;
}

bool EventBus::registered(std::uint64_t id) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(handlers_.begin(), handlers_.end(),
                     [&](const Handler& h) { return h.id == id; });
}

void EventBus::record(std::uint64_t journalId, int handlers) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++delivered_;
  for (nlohmann::json& entry : journal_) {
    if (entry["id"] == journalId) entry["handlers"] = handlers;
  }
}

nlohmann::json EventBus::journal() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  nlohmann::json out = nlohmann::json::array();
  for (const nlohmann::json& entry : journal_) out.push_back(entry);
  return out;
}

nlohmann::json EventBus::handlers() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  nlohmann::json out = nlohmann::json::array();
  for (const Handler& h : handlers_) {
    out.push_back({{"name", h.name}, {"handle", h.handle}, {"flag", h.flag}});
  }
  return out;
}

std::uint64_t EventBus::delivered() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return delivered_;
}

}  // namespace tev::devhost
