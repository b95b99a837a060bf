// Deep copies of value trees into one arena, for BindingProperty's copy operations. Strings from
// another arena are re-interned; a small memo of source entries saves hashing the same keys
// again for every record. Only BindingProperty uses it.
#pragma once

#include <cstddef>

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

  // One more reference to `entry`'s text in this arena.
  const InternedString* string(const InternedString* entry);
  // Copies the subtree `from` node for node, shape and colours included, linking each copy
  // into `link` as soon as it exists.
  void copyNodes(const StructureNode* from, StructureNode* parent, StructureNode** link,
                 StructureTree& tree);

  struct Memo {
    const InternedString* source = nullptr;
    const InternedString* copy = nullptr;
  };

  BindingArena& arena_;
  bool sameArena_;
  Memo memo_[kMemoSize];
};

}  // namespace tev::internal
