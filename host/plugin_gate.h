// Keeps event delivery and the plugin's lifecycle calls apart from its request handling: the
// plugin's event tables and feature state take no lock, so requests enter the plugin shared
// (any number at once) and events, Initialize and Shutdown exclusive (alone). Waiting
// exclusive entries hold back new shared ones, so an event is not starved under load. A thread
// already inside the plugin (a plugin calling back into the host, which calls the plugin again)
// passes without waiting. One gate per host.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tev::devhost {

class PluginGate {
 public:
  // Holds the gate shared for its lifetime.
  class Shared {
   public:
    explicit Shared(PluginGate& gate);
    ~Shared();
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

   private:
    PluginGate* gate_;  // null when the thread was inside already
  };

  // Holds the gate exclusively for its lifetime.
  class Exclusive {
   public:
    explicit Exclusive(PluginGate& gate);
    ~Exclusive();
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;

   private:
    PluginGate* gate_;
  };

  // Whether the calling thread is inside the plugin through this gate.
  static bool inside();
  // Whether an exclusive entry is waiting (for diagnostics and tests).
  bool exclusiveWaiting();

 private:
  // Shared entries touch only the two counters unless an exclusive entry is pending: requests
  // run in parallel without meeting on a lock.
  std::atomic<int> readers_{0};
  std::atomic<int> writers_{0};  // exclusive entries waiting or inside
  std::mutex mutex_;
  std::condition_variable changed_;
  bool writer_ = false;  // guarded by mutex_
};

}  // namespace tev::devhost
