#include "logging/internal/log_groups.h"

#include <atomic>
#include <cstring>

#include "logging/internal/log_core.h"
#include "platform/recursive_lock.h"

namespace tev::log_internal {
namespace {

struct GroupTable {
  char names[kLogGroupSlots][4];
};

constexpr GroupTable initialTable() {
  constexpr const char* kFirst[] = {"DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST"};
  GroupTable table{};
  for (std::size_t slot = 0; slot < kLogGroupSlots; ++slot) {
    const char* name = slot < 8 ? kFirst[slot] : "???";
    for (std::size_t i = 0; i < 4; ++i) table.names[slot][i] = name[i];
  }
  return table;
}

// Constant-initialised, so group lookups during other files' static initialisation see it.
GroupTable gTable = initialTable();
// The highest slot in use. A slot's name is written before the counter is raised past it (with
// release order), so a reader that loads the counter sees complete names up to it.
std::atomic<std::int32_t> gHighestSlot{7};

// The first three characters, zero-padded when the name is shorter.
void keyOf(const char* name, char (&key)[3]) {
  std::size_t i = 0;
  for (; i < 3 && name[i] != '\0'; ++i) key[i] = name[i];
  for (; i < 3; ++i) key[i] = '\0';
}

std::int32_t findSlot(const char (&key)[3], std::int32_t highest) {
  for (std::int32_t slot = 0; slot <= highest; ++slot) {
    if (std::memcmp(gTable.names[slot], key, 3) == 0) return slot;
  }
  return -1;
}

}  // namespace

std::uint64_t groupFromName(const char* name) {
  if (name == nullptr) return 0;
  char key[3];
  keyOf(name, key);
  std::int32_t slot = findSlot(key, gHighestSlot.load(std::memory_order_acquire));
  if (slot < 0) {
    // Registration is serialised, so two threads registering one new name get one slot.
    platform::RecursiveLockGuard guard(loggerLock());
    const std::int32_t highest = gHighestSlot.load(std::memory_order_acquire);
    slot = findSlot(key, highest);
    if (slot < 0) {
      if (highest + 1 >= static_cast<std::int32_t>(kLogGroupSlots)) return 0;
      slot = highest + 1;
      std::memcpy(gTable.names[slot], key, 3);
      gTable.names[slot][3] = '\0';
      gHighestSlot.store(slot, std::memory_order_release);
    }
  }
  return std::uint64_t{1} << slot;
}

std::size_t groupNames(std::uint64_t mask, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  const std::int32_t highest = gHighestSlot.load(std::memory_order_acquire);
  std::size_t length = 0;
  bool first = true;
  for (std::int32_t slot = 0; slot < static_cast<std::int32_t>(kLogGroupSlots); ++slot) {
    if ((mask & (std::uint64_t{1} << slot)) == 0) continue;
    // Slots above the counter may be mid-registration on another thread; they read "???".
    const char* name = slot <= highest ? gTable.names[slot] : "???";
    if (!first) {
      if (length + 1 >= size) break;
      buffer[length++] = ';';
    }
    first = false;
    for (std::size_t i = 0; i < 3 && name[i] != '\0' && length + 1 < size; ++i) {
      buffer[length++] = name[i];
    }
    if (length + 1 >= size) break;
  }
  buffer[length] = '\0';
  return length;
}

}  // namespace tev::log_internal
