#include "logging/event_tracing.h"

#include <cstring>

namespace tev {
namespace {

constexpr std::size_t kMaxEvents = 32;

}  // namespace

TraceProviderContext::TraceProviderContext(const platform::TraceEventDescriptor* events,
                                           std::size_t eventCount)
    : events_(events), eventCount_(eventCount < kMaxEvents ? eventCount : kMaxEvents) {}

void TraceProviderContext::enableCallback(const platform::TraceGuid*, std::uint32_t controlCode,
                                          std::uint8_t level, std::uint64_t matchAnyKeyword,
                                          std::uint64_t matchAllKeyword, void* context) {
  auto* provider = static_cast<TraceProviderContext*>(context);
  if (provider == nullptr) return;
  if (controlCode == platform::kTraceControlEnable) {
    provider->level_.store(level);
    provider->matchAny_.store(matchAnyKeyword);
    provider->matchAll_.store(matchAllKeyword);
    provider->enabled_.store(true);
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < provider->eventCount_; ++i) {
      const platform::TraceEventDescriptor& event = provider->events_[i];
      const bool levelMatches = event.level <= level || level == 0;
      const bool keywordMatches =
          event.keyword == 0 || ((event.keyword & matchAnyKeyword) != 0 &&
                                 (event.keyword & matchAllKeyword) == matchAllKeyword);
      if (levelMatches && keywordMatches) bits |= std::uint32_t{1} << i;
    }
    provider->enableBits_.store(bits);
  } else if (controlCode == platform::kTraceControlDisable) {
    provider->enableBits_.store(0);
    provider->enabled_.store(false);
    provider->level_.store(0);
    provider->matchAny_.store(0);
    provider->matchAll_.store(0);
  }
}

bool TraceProviderContext::eventEnabled(std::size_t index) const noexcept {
  return index < eventCount_ && (enableBits_.load() & (std::uint32_t{1} << index)) != 0;
}

std::uint32_t registerProvider(const platform::TraceFunctions& functions,
                               const platform::TraceGuid& provider,
                               platform::TraceEnableCallback callback, void* context,
                               platform::TraceRegistration& registration) {
  if (functions.registerProvider == nullptr || registration.handle != 0) return 0;
  registration.callback = callback;
  registration.context = context;
  return functions.registerProvider(provider, registration);
}

std::uint32_t unregisterProvider(const platform::TraceFunctions& functions, std::uint64_t& handle) {
  if (functions.unregisterProvider == nullptr || handle == 0) return 0;
  const std::uint32_t status = functions.unregisterProvider(handle);
  handle = 0;
  return status;
}

std::uint32_t writeThreadName(const platform::TraceFunctions& functions, std::uint64_t handle,
                              const platform::TraceEventDescriptor& descriptor,
                              std::uint32_t threadId, const char* name) {
  if (functions.writeEvent == nullptr) return 0;
  const char* text = name != nullptr ? name : "NULL";
  const platform::TraceDataItem items[2] = {
      {reinterpret_cast<std::uintptr_t>(&threadId), sizeof threadId, 0},
      {reinterpret_cast<std::uintptr_t>(text), static_cast<std::uint32_t>(std::strlen(text) + 1),
       0},
  };
  return functions.writeEvent(handle, descriptor, 2, items);
}

EventTracing::EventTracing(const platform::TraceFunctions& functions)
    : functions_(functions),
      providers_{{nullptr, 0}, {&kThreadNameEvent, 1}, {nullptr, 0}, {nullptr, 0}} {}

EventTracing::~EventTracing() { unload(); }

void EventTracing::load(std::uint32_t threadId, const char* threadName) {
  for (std::size_t i = 0; i < kTraceProviderCount; ++i) {
    TraceProviderContext& provider = providers_[i];
    (void)registerProvider(functions_, kTraceProviderGuids[i],
                           &TraceProviderContext::enableCallback, &provider,
                           provider.registration());
  }
  // A controller that was already listening enabled the provider inside its registration.
  const TraceProviderContext& names = providers_[kThreadNameProvider];
  if (names.eventEnabled(0)) {
    (void)writeThreadName(functions_, names.handle(), kThreadNameEvent, threadId, threadName);
  }
}

void EventTracing::unload() {
  for (TraceProviderContext& provider : providers_) {
    (void)unregisterProvider(functions_, provider.registration().handle);
  }
}

}  // namespace tev
