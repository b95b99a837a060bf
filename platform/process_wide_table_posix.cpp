#include "platform/process_wide_table.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__ELF__)
#include <dlfcn.h>
#include <link.h>
#endif

namespace tev::platform {
namespace {

constexpr std::uint64_t kAnchorMagic = 0x7465764c6f675462ull;  // "tevLogTb"

struct Anchor {
  std::uint64_t magic;
  std::atomic<const void*> table;
};

std::atomic<bool> gRefusePins{false};

}  // namespace

void refuseModulePinsForTesting(bool refuse) { gRefusePins.store(refuse); }
}  // namespace tev::platform

#if defined(__ELF__)

// Every module that links this file carries one anchor, and an ELF note in its loaded image that
// points at it. The note sits in a PT_NOTE segment, which stays mapped, so any module can walk the
// process's loaded modules (dl_iterate_phdr) and read each one's anchor without the anchor being
// an exported symbol. The note holds the anchor's offset from the note itself, resolved when the
// module is linked, so the read-only note needs no relocation at load time.
extern "C" {
__attribute__((visibility("hidden"), used))
tev::platform::Anchor tev_process_table_anchor = {tev::platform::kAnchorMagic, {nullptr}};
}

asm(".pushsection .note.tev.table,\"a\",%note\n"
    ".balign 4\n"
    ".long 12\n"          // name size, "TevLogTable" and its zero
    ".long 8\n"           // descriptor size
    ".long 0x54657631\n"  // note type
    ".asciz \"TevLogTable\"\n"
    ".balign 4\n"
    ".quad tev_process_table_anchor - .\n"
    ".popsection\n");

namespace tev::platform {
namespace {

constexpr std::uint32_t kNoteType = 0x54657631;
constexpr char kNoteName[] = "TevLogTable";

std::uint32_t readWord(const unsigned char* at) {
  std::uint32_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// The table published by one of the module's anchors, or null.
const void* tableInNotes(const unsigned char* notes, std::size_t size) {
  std::size_t offset = 0;
  while (offset + 12 <= size) {
    const std::uint32_t nameSize = readWord(notes + offset);
    const std::uint32_t descriptorSize = readWord(notes + offset + 4);
    const std::uint32_t type = readWord(notes + offset + 8);
    const std::size_t nameAt = offset + 12;
    const std::size_t descriptorAt = nameAt + ((static_cast<std::size_t>(nameSize) + 3) & ~3u);
    const std::size_t next = descriptorAt + ((static_cast<std::size_t>(descriptorSize) + 3) & ~3u);
    if (next > size || next <= offset) return nullptr;
    if (type == kNoteType && nameSize == sizeof kNoteName &&
        std::memcmp(notes + nameAt, kNoteName, sizeof kNoteName) == 0 &&
        descriptorSize == sizeof(std::int64_t)) {
      std::int64_t distance;
      std::memcpy(&distance, notes + descriptorAt, sizeof distance);
      const auto* anchor = reinterpret_cast<const Anchor*>(notes + descriptorAt + distance);
      if (anchor->magic == kAnchorMagic) {
        const void* table = anchor->table.load(std::memory_order_acquire);
        if (table != nullptr) return table;
      }
    }
    offset = next;
  }
  return nullptr;
}

// A published table and the module whose anchor holds it. The name is copied while the loader
// still lists the module: the loader's own copy goes when the module unloads.
struct FoundTable {
  const void* table = nullptr;
  bool mainProgram = false;
  bool nameFits = false;
  char name[4096] = {};
};

int visitModule(dl_phdr_info* info, std::size_t, void* data) {
  auto& found = *static_cast<FoundTable*>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_NOTE) continue;
    const auto* notes = reinterpret_cast<const unsigned char*>(info->dlpi_addr + header.p_vaddr);
    if (const void* table = tableInNotes(notes, header.p_memsz)) {
      found.table = table;
      // The loader lists the main program first, with an empty name.
      const char* name = info->dlpi_name != nullptr ? info->dlpi_name : "";
      found.mainProgram = name[0] == '\0';
      const std::size_t length = std::strlen(name);
      found.nameFits = length < sizeof found.name;
      if (found.nameFits) std::memcpy(found.name, name, length + 1);
      return 1;
    }
  }
  return 0;
}

// Makes sure the module stays loaded until the process ends; false when that cannot be had. The
// main program is never unloaded. RTLD_NOLOAD only finds a module that is still loaded, and
// RTLD_NODELETE keeps it for the process's life.
bool pinModule(const FoundTable& found) {
  if (found.mainProgram) return true;
  if (gRefusePins.load() || !found.nameFits) return false;
  return dlopen(found.name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

// How often a module looks again when the publisher it found could not be pinned (it may have
// been unloading) before it settles for a log of its own.
constexpr int kAttempts = 3;

}  // namespace

const void* shareProcessWideTable(const void* candidate) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // The standard-error stream's lock is a recursive lock that every module reaches, since the C
    // library is loaded once per process; it makes search-then-publish one step between modules.
    // The pin is taken outside it: dlopen waits for the loader's lock, which a thread running
    // module constructors holds while it may wait for this one.
    FoundTable found;
    flockfile(stderr);
    dl_iterate_phdr(&visitModule, &found);
    if (found.table == nullptr) {
      tev_process_table_anchor.table.store(candidate, std::memory_order_release);
      found.table = candidate;
    }
    funlockfile(stderr);
    if (found.table == candidate) return candidate;
    // Pinned first, adopted after: a table whose module cannot be pinned might be unmapped under
    // this module at any time. The search is repeated once the pin holds, so the table adopted
    // is the one the pinned module still publishes.
    if (!pinModule(found)) continue;
    FoundTable again;
    flockfile(stderr);
    dl_iterate_phdr(&visitModule, &again);
    funlockfile(stderr);
    if (again.table == found.table) return found.table;
  }
  return candidate;
}

}  // namespace tev::platform

#else

namespace tev::platform {

// Without ELF notes there is no file-free way to find another module's table: each module keeps
// its own log.
const void* shareProcessWideTable(const void* candidate) { return candidate; }

}  // namespace tev::platform

#endif
