// Strings set into a tree a few texts late, for readers that build large trees. A text that the
// arena has not interned a moment ago needs its bucket of the arena's string table, which in a
// large tree is far out of the caches; so the bucket is fetched when the text is met and the
// text interned kPendingSize texts later, when the bucket has arrived. Until then the target
// holds the empty text, so a tree left by a throw or a refused read is one its destructor can
// release. A reader whose text stays put until it finishes leaves the texts where they are; one
// whose texts last only for the call that hands them over has them copied while they wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "binding/binding_arena.h"
#include "binding/binding_property.h"

namespace tev::internal {

class DeferredStrings {
 public:
  // With `copyTexts`, a text of up to kCopyLimit bytes waits in a copy of its own and a longer
  // one, which is rare and costs more to copy than a miss, is set at once.
  explicit DeferredStrings(bool copyTexts = false) : copyTexts_(copyTexts) {}
  DeferredStrings(const DeferredStrings&) = delete;
  DeferredStrings& operator=(const DeferredStrings&) = delete;

  // target.setString(text), now or by drain() at the latest. Until then `target` must stay where
  // it is and be neither set nor destroyed, and, unless texts are copied, the bytes of `text`
  // must stay as they are.
  void set(BindingProperty& target, std::string_view text) {
    BindingArena& arena = target.ensureArena();
    const InternedString* entry = arena.internRecent(text);
    if (entry == nullptr) {
      if (copyTexts_ && text.size() > kCopyLimit) {
        target.setString(text);
        return;
      }
      if (!text.empty()) defer(arena, target, text);
      entry = &emptyInternedString();
    }
    target.releaseHeldPayload();
    target.payload_.string = entry;
    target.setKind(BindingPropertyKind::kString);
  }

  // Sets every waiting target. Throws std::bad_alloc when memory runs out; the targets not set
  // by then keep the empty text.
  void drain() {
    while (resolved_ != queued_) resolveOldest();
  }

 private:
  static constexpr std::size_t kPendingSize = 16;
  static constexpr std::size_t kCopyLimit = 64;

  struct Pending {
    BindingProperty* target;
    std::string_view text;
    std::uint32_t hash;
  };

  void defer(BindingArena& arena, BindingProperty& target, std::string_view text) {
    if (queued_ - resolved_ == kPendingSize) resolveOldest();
    const std::uint32_t hash = fnv1aHash(text);
    arena.prefetchBucket(hash);
    const std::size_t slot = queued_ % kPendingSize;
    if (copyTexts_) {
      std::memcpy(copies_[slot], text.data(), text.size());
      text = std::string_view(copies_[slot], text.size());
    }
    pending_[slot] = {&target, text, hash};
    ++queued_;
  }

  void resolveOldest() {
    const Pending& pending = pending_[resolved_ % kPendingSize];
    pending.target->payload_.string =
        pending.target->arena()->internHashed(pending.text, pending.hash);
    ++resolved_;
  }

  Pending pending_[kPendingSize];
  std::size_t queued_ = 0;    // texts ever deferred
  std::size_t resolved_ = 0;  // of them, texts set
  bool copyTexts_;
  char copies_[kPendingSize][kCopyLimit];  // with copyTexts_, the waiting texts by slot
};

}  // namespace tev::internal
