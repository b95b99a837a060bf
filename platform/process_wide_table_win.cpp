#include "platform/process_wide_table.h"

#include <windows.h>

#include <atomic>

namespace tev::platform {
namespace {

// The shared page holds one pointer; a fresh mapping is zero-filled.
struct SharedSlot {
  void* volatile table;
};

// What this module published, withdrawn when the module unloads. Constant-initialised, so it is
// valid even when another file's static initialisation publishes first.
struct Publication {
  HANDLE mapping = nullptr;
  SharedSlot* slot = nullptr;
  const void* table = nullptr;

  ~Publication() {
    if (slot == nullptr) return;
    InterlockedCompareExchangePointer(&slot->table, nullptr, const_cast<void*>(table));
    UnmapViewOfFile(slot);
    CloseHandle(mapping);
  }
};

Publication gPublication;

// "Local\TevLogTable.<process id>": one object per process in the session's namespace.
void objectName(wchar_t (&name)[48]) {
  const wchar_t prefix[] = L"Local\\TevLogTable.";
  std::size_t length = 0;
  for (; prefix[length] != L'\0'; ++length) name[length] = prefix[length];
  wchar_t digits[12];
  std::size_t count = 0;
  DWORD id = GetCurrentProcessId();
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + id % 10);
    id /= 10;
  } while (id != 0);
  while (count > 0) name[length++] = digits[--count];
  name[length] = L'\0';
}

std::atomic<bool> gRefusePins{false};

// Makes sure the module holding `address` stays loaded until the process ends; false when that
// cannot be had (the module is gone, or the system refuses). The main program is never unloaded.
bool pinModuleContaining(const void* address) {
  HMODULE module = nullptr;
  if (GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address), &module) &&
      module == GetModuleHandleW(nullptr)) {
    return true;
  }
  if (gRefusePins.load()) return false;
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            static_cast<LPCWSTR>(address), &module) != FALSE;
}

// How often a module looks again when the publisher it found could not be pinned (it may have
// been unloading) before it settles for a log of its own.
constexpr int kAttempts = 3;

}  // namespace

void refuseModulePinsForTesting(bool refuse) { gRefusePins.store(refuse); }

const void* shareProcessWideTable(const void* candidate) {
  wchar_t name[48];
  objectName(name);
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(SharedSlot), name);
  if (mapping == nullptr) return candidate;
  auto* slot = static_cast<SharedSlot*>(
      MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedSlot)));
  if (slot == nullptr) {
    CloseHandle(mapping);
    return candidate;
  }
  // Every view of the object maps the same page, so the exchange decides between modules.
  void* previous = nullptr;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    previous =
        InterlockedCompareExchangePointer(&slot->table, const_cast<void*>(candidate), nullptr);
    if (previous == nullptr || previous == candidate) break;
    // Pinned first, adopted after, and only while the pinned module still publishes the table:
    // a module that cannot be pinned might unload and take the table with it.
    if (pinModuleContaining(previous) &&
        InterlockedCompareExchangePointer(&slot->table, nullptr, nullptr) == previous) {
      UnmapViewOfFile(slot);
      CloseHandle(mapping);
      return previous;
    }
  }
  if (previous == nullptr || previous == candidate) {
    // The publisher keeps its handle open: the object lives as long as the published table.
    if (gPublication.slot == nullptr) {
      gPublication.mapping = mapping;
      gPublication.slot = slot;
      gPublication.table = candidate;
    } else {
      UnmapViewOfFile(slot);
      CloseHandle(mapping);
    }
    return candidate;
  }
  // Another module's table that could not be pinned: this module keeps a log of its own.
  UnmapViewOfFile(slot);
  CloseHandle(mapping);
  return candidate;
}

}  // namespace tev::platform
