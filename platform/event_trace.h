// The operating system's event tracing, reached through functions looked up at run time so that
// the library also loads where they are missing. Records here mirror the system's own layouts.
// Callers own their TraceRegistration records; each must stay in place while registered.
#pragma once

#include <cstdint>

namespace tev::platform {

struct TraceGuid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};

// The fixed description of one event, as the tracing system takes it.
struct TraceEventDescriptor {
  std::uint16_t id;
  std::uint8_t version;
  std::uint8_t channel;
  std::uint8_t level;
  std::uint8_t opcode;
  std::uint16_t task;
  std::uint64_t keyword;
};

// One item of an event's payload: its address and size in bytes.
struct TraceDataItem {
  std::uint64_t address;
  std::uint32_t size;
  std::uint32_t reserved;
};

// The control codes a tracing controller sends to a provider's enable callback.
inline constexpr std::uint32_t kTraceControlDisable = 0;
inline constexpr std::uint32_t kTraceControlEnable = 1;
inline constexpr std::uint32_t kTraceControlCaptureState = 2;

// Called by the system, on any thread, when a controller enables or disables a provider.
using TraceEnableCallback = void (*)(const TraceGuid* source, std::uint32_t controlCode,
                                     std::uint8_t level, std::uint64_t matchAnyKeyword,
                                     std::uint64_t matchAllKeyword, void* context);

// One provider's registration: the callback with its context, and the system's handle (0 while
// not registered). The system keeps the record's address until the provider is unregistered.
struct TraceRegistration {
  TraceEnableCallback callback = nullptr;
  void* context = nullptr;
  std::uint64_t handle = 0;
};

// The system's tracing functions; an entry is null where the system lacks it. Each returns the
// system's status, 0 for success.
struct TraceFunctions {
  // Registers `registration` (its callback and context) for the provider; sets its handle.
  std::uint32_t (*registerProvider)(const TraceGuid& provider, TraceRegistration& registration);
  std::uint32_t (*writeEvent)(std::uint64_t handle, const TraceEventDescriptor& descriptor,
                              std::uint32_t itemCount, const TraceDataItem* items);
  std::uint32_t (*unregisterProvider)(std::uint64_t handle);
};

// Resolves the system's tracing functions by name (on Windows from "Advapi32.dll", loaded here)
// and returns them; entries stay null where the library or a function is missing, and always on
// systems without this kind of tracing. Pair every call with releaseTraceFunctions(); calls are
// counted. Call both from one thread at a time (normally the loading and unloading thread).
TraceFunctions loadTraceFunctions();
// Gives back one loadTraceFunctions(); after the last one its functions must not be used.
void releaseTraceFunctions();

}  // namespace tev::platform
