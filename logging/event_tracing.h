// The library as a provider of the operating system's event tracing: four providers registered
// when the library loads, so that a tracing controller sees which thread loaded it, and
// unregistered at unload. Where the system's tracing functions are missing, everything here does
// nothing and reports 0. An EventTracing must stay in place while its providers are registered.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/event_trace.h"

namespace tev {

inline constexpr std::size_t kTraceProviderCount = 4;

// The providers, in registration order.
inline constexpr platform::TraceGuid kTraceProviderGuids[kTraceProviderCount] = {
    {0x2F9EFE86, 0x4AF7, 0x4F37, {0xA4, 0x0F, 0x94, 0xB9, 0x09, 0xA1, 0x57, 0xD6}},
    {0xEA08C559, 0x95A8, 0x4AA2, {0xAF, 0xA6, 0x18, 0x73, 0x8E, 0xEC, 0x6D, 0x37}},
    {0x10F6728C, 0xEF92, 0x4BF1, {0x83, 0x97, 0x49, 0xE6, 0x93, 0xA6, 0xEB, 0x74}},
    {0x46DD7F96, 0x60CB, 0x416B, {0x80, 0x85, 0xDA, 0x5C, 0xD8, 0xF4, 0x91, 0xDD}},
};

// The thread-name event: the first event of the second provider. Its payload is the thread's
// identifier (32-bit) and its name with the terminating zero.
inline constexpr platform::TraceEventDescriptor kThreadNameEvent = {103, 0, 0, 0, 14, 2, 0x1};
inline constexpr std::size_t kThreadNameProvider = 1;  // index into kTraceProviderGuids

// One provider's enable context: what a controller asked for, and which of the provider's events
// that enables. Updated by the system's callback on any thread, read by the library at will.
class TraceProviderContext {
 public:
  // `events` (at most 32) must outlive the context.
  TraceProviderContext(const platform::TraceEventDescriptor* events, std::size_t eventCount);

  // The enable callback, with the context as `context`. On enable it stores the level and
  // keywords and sets each event's bit when the event's level is at most the requested one (or
  // that is 0) and its keyword is 0 or shares a bit with matchAny and holds every bit of
  // matchAll; on disable it clears all of that. Other control codes are ignored.
  static void enableCallback(const platform::TraceGuid* source, std::uint32_t controlCode,
                             std::uint8_t level, std::uint64_t matchAnyKeyword,
                             std::uint64_t matchAllKeyword, void* context);

  [[nodiscard]] bool enabled() const noexcept { return enabled_.load(); }
  [[nodiscard]] std::uint8_t level() const noexcept { return level_.load(); }
  [[nodiscard]] std::uint64_t matchAnyKeyword() const noexcept { return matchAny_.load(); }
  [[nodiscard]] std::uint64_t matchAllKeyword() const noexcept { return matchAll_.load(); }
  [[nodiscard]] bool eventEnabled(std::size_t index) const noexcept;
  // One bit per event, the first event in bit 0.
  [[nodiscard]] std::uint32_t enableBits() const noexcept { return enableBits_.load(); }

  platform::TraceRegistration& registration() noexcept { return registration_; }
  [[nodiscard]] std::uint64_t handle() const noexcept { return registration_.handle; }

 private:
  const platform::TraceEventDescriptor* events_;
  std::size_t eventCount_;
  std::atomic<bool> enabled_{false};
  std::atomic<std::uint8_t> level_{0};
  std::atomic<std::uint64_t> matchAny_{0};
  std::atomic<std::uint64_t> matchAll_{0};
  std::atomic<std::uint32_t> enableBits_{0};
  platform::TraceRegistration registration_;
};

// Registers a provider unless `registration` already holds a handle; the callback and context
// are stored in it for the system to call. Returns the system's status, 0 when nothing was done.
[[nodiscard]] std::uint32_t registerProvider(const platform::TraceFunctions& functions,
                                             const platform::TraceGuid& provider,
                                             platform::TraceEnableCallback callback, void* context,
                                             platform::TraceRegistration& registration);
// Unregisters a non-zero handle and sets it to 0. Returns the system's status, or 0.
[[nodiscard]] std::uint32_t unregisterProvider(const platform::TraceFunctions& functions,
                                               std::uint64_t& handle);
// Writes the thread-name event: the identifier and the name ("NULL" for a null name) with its
// terminating zero. Returns the system's status, or 0 when the system cannot write events.
[[nodiscard]] std::uint32_t writeThreadName(const platform::TraceFunctions& functions,
                                            std::uint64_t handle,
                                            const platform::TraceEventDescriptor& descriptor,
                                            std::uint32_t threadId, const char* name);

// The four providers of one module.
class EventTracing {
 public:
  // `functions` are copied; they must stay usable until unload().
  explicit EventTracing(const platform::TraceFunctions& functions);
  ~EventTracing();
  EventTracing(const EventTracing&) = delete;
  EventTracing& operator=(const EventTracing&) = delete;

  // Registers the providers in order, then, if the thread-name event is enabled at that moment,
  // writes it with `threadId` and `threadName`.
  void load(std::uint32_t threadId, const char* threadName);
  // Unregisters every registered provider. Also done by the destructor.
  void unload();

  [[nodiscard]] const TraceProviderContext& provider(std::size_t index) const {
    return providers_[index];
  }

 private:
  platform::TraceFunctions functions_;
  TraceProviderContext providers_[kTraceProviderCount];
};

}  // namespace tev
