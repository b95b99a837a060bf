#include "platform/event_trace.h"

#include <windows.h>
// windows.h first: evntprov.h relies on its types.
#include <evntprov.h>

#include <cstddef>

namespace tev::platform {
namespace {

static_assert(sizeof(TraceGuid) == sizeof(GUID));
static_assert(sizeof(TraceEventDescriptor) == sizeof(EVENT_DESCRIPTOR));
static_assert(offsetof(TraceEventDescriptor, keyword) == offsetof(EVENT_DESCRIPTOR, Keyword));
static_assert(sizeof(TraceDataItem) == sizeof(EVENT_DATA_DESCRIPTOR));
static_assert(offsetof(TraceDataItem, size) == offsetof(EVENT_DATA_DESCRIPTOR, Size));

using EventRegisterFunction = ULONG(WINAPI*)(LPCGUID, PENABLECALLBACK, PVOID, PREGHANDLE);
using EventWriteFunction = ULONG(WINAPI*)(REGHANDLE, PCEVENT_DESCRIPTOR, ULONG,
                                          PEVENT_DATA_DESCRIPTOR);
using EventUnregisterFunction = ULONG(WINAPI*)(REGHANDLE);

HMODULE gLibrary = nullptr;
int gLoadCount = 0;
EventRegisterFunction gRegister = nullptr;
EventWriteFunction gWrite = nullptr;
EventUnregisterFunction gUnregister = nullptr;

template <typename F>
F resolve(const char* name) {
  // Through void(*)(): GetProcAddress's own type says nothing about the function's.
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(gLibrary, name)));
}

// The system calls back with its own calling convention; the neutral callback gets the
// registration's context.
void NTAPI enableTrampoline(LPCGUID source, ULONG controlCode, UCHAR level, ULONGLONG matchAny,
                            ULONGLONG matchAll, PEVENT_FILTER_DESCRIPTOR, PVOID context) {
  const auto* registration = static_cast<const TraceRegistration*>(context);
  if (registration == nullptr || registration->callback == nullptr) return;
  registration->callback(reinterpret_cast<const TraceGuid*>(source), controlCode, level, matchAny,
                         matchAll, registration->context);
}

std::uint32_t registerProvider(const TraceGuid& provider, TraceRegistration& registration) {
  REGHANDLE handle = 0;
  const ULONG status = gRegister(reinterpret_cast<const GUID*>(&provider), &enableTrampoline,
                                 &registration, &handle);
  if (status == ERROR_SUCCESS) registration.handle = handle;
  return status;
}

std::uint32_t writeEvent(std::uint64_t handle, const TraceEventDescriptor& descriptor,
                         std::uint32_t itemCount, const TraceDataItem* items) {
  return gWrite(handle, reinterpret_cast<const EVENT_DESCRIPTOR*>(&descriptor), itemCount,
                reinterpret_cast<EVENT_DATA_DESCRIPTOR*>(const_cast<TraceDataItem*>(items)));
}

std::uint32_t unregisterProvider(std::uint64_t handle) { return gUnregister(handle); }

}  // namespace

TraceFunctions loadTraceFunctions() {
  ++gLoadCount;
  if (gLibrary == nullptr) {
    gLibrary = LoadLibraryW(L"Advapi32.dll");
    if (gLibrary == nullptr) return TraceFunctions{nullptr, nullptr, nullptr};
    gRegister = resolve<EventRegisterFunction>("EventRegister");
    gWrite = resolve<EventWriteFunction>("EventWrite");
    gUnregister = resolve<EventUnregisterFunction>("EventUnregister");
  }
  return TraceFunctions{gRegister != nullptr ? &registerProvider : nullptr,
                        gWrite != nullptr ? &writeEvent : nullptr,
                        gUnregister != nullptr ? &unregisterProvider : nullptr};
}

void releaseTraceFunctions() {
  if (gLoadCount > 0) --gLoadCount;
  if (gLoadCount > 0 || gLibrary == nullptr) return;
  gRegister = nullptr;
  gWrite = nullptr;
  gUnregister = nullptr;
  FreeLibrary(gLibrary);
  gLibrary = nullptr;
}

}  // namespace tev::platform
