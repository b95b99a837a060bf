// Deep copies of value trees into one arena, for BindingProperty's copy operations. Strings from
// another arena are re-interned; a small memo of source entries saves hashing the same keys
// again for every record. Only BindingProperty uses it.
//
// Texts the memo does not know are interned a few texts later than their slot is copied: in a
// large tree both the source entry and the bucket of this arena's table it falls in are far
// out of the caches, so each is fetched ahead while the copy goes on, and the text is interned
// once both have arrived. Until then its slot holds the empty text, so a throw on the way leaves
// a tree its destructor can release.
#pragma once

#include <cstddef>
#include <cstdint>

#include "binding/binding_arena.h"
#include "binding/binding_property.h"

namespace tev::internal {

class TreeCopier {
 public:
  TreeCopier(BindingArena& arena, const BindingArena* sourceArena)
      : arena_(arena), sameArena_(sourceArena == &arena) {}

  // Copies `source` into the empty `target`, which already has this copier's arena. A throw
  // leaves `target` complete, holding part of the copy, for its destructor.
  void copy(BindingProperty& target, const BindingProperty& source);

 private:
  static constexpr std::size_t kMemoSize = 64;
  // Texts waiting to be interned, and how far behind the newest a text's bucket is fetched.
  static constexpr std::size_t kPendingSize = 16;
  static constexpr std::size_t kBucketAhead = 8;
  // How far ahead of the node being copied the source is fetched, in bytes.
  static constexpr std::size_t kSourceAhead = 2048;

  void copyValue(BindingProperty& target, const BindingProperty& source);
  // Sets `*slot` to one more reference to `entry`'s text in this arena, now or once the text
  // leaves the pending queue; the slot must stay where it is until drain().
  void string(const InternedString** slot, const InternedString* entry);
  // Interns the oldest pending text into its slot.
  void resolveOldest();
  void drain();
  // Copies the subtree `from` node for node, shape and colours included, linking each copy
  // into `link` as soon as it exists.
  void copyNodes(const StructureNode* from, StructureNode* parent, StructureNode** link,
                 StructureTree& tree);

  struct Memo {
    const InternedString* source = nullptr;
    const InternedString* copy = nullptr;
  };

  struct Pending {
    const InternedString** slot;
    const InternedString* source;
  };

  Memo& memoOf(const InternedString* source) {
    return memo_[(reinterpret_cast<std::uintptr_t>(source) >> 4) % kMemoSize];
  }

  BindingArena& arena_;
  bool sameArena_;
  Memo memo_[kMemoSize];
  Pending pending_[kPendingSize];
  std::size_t queued_ = 0;    // texts ever queued
  std::size_t resolved_ = 0;  // of them, texts interned
};

}  // namespace tev::internal
