#include "binding/internal/tree_copier.h"

#include <cassert>
#include <cstdint>
#include <new>

#include "binding/internal/property_storage.h"

namespace tev::internal {

void TreeCopier::copy(BindingProperty& target, const BindingProperty& source) {
  copyValue(target, source);
  drain();
}

void TreeCopier::copyValue(BindingProperty& target, const BindingProperty& source) {
  assert(target.isEmpty() && target.arena() == &arena_);
  switch (source.kind()) {
    case BindingPropertyKind::kString:
      string(&target.payload_.string, source.payload_.string);
      break;
    case BindingPropertyKind::kBlob:
      target.payload_.blob = newBlob(arena_, source.payload_.blob->bytes);
      break;
    case BindingPropertyKind::kEnum:
      target.payload_.enumValue = newBlock<BindingEnumValue>(arena_, *source.payload_.enumValue);
      break;
    case BindingPropertyKind::kCollection: {
      const PropertyVector& from = *source.payload_.collection;
      PropertyVector* vector = newVector(arena_);
      target.payload_.collection = vector;
      target.setKind(BindingPropertyKind::kCollection);
      if (from.size() != 0) resizeStorage(arena_, *vector, from.size());
      // The target is complete after every step, so a throw leaves it to its destructor.
      for (const BindingProperty* child = from.begin; child != from.end; ++child) {
        BindingProperty* copied =
            ::new (vector->end) BindingProperty(BindingProperty::ChildTag{}, &arena_);
        ++vector->end;
        copyValue(*copied, *child);
      }
      return;
    }
    case BindingPropertyKind::kStructure: {
      StructureTree* tree = newBlock<StructureTree>(arena_);
      target.payload_.structure = tree;
      target.setKind(BindingPropertyKind::kStructure);
      // The source is a valid tree and keys order the same in every arena, so its shape and
      // colours carry over as they are: no comparisons, no rebalancing.
      copyNodes(source.payload_.structure->root(), nullptr, &tree->root_, *tree);
      tree->refreshLast();
      return;
    }
    default:
      target.payload_ = source.payload_;
      break;
  }
  target.setKind(source.kind());
}

void TreeCopier::copyNodes(const StructureNode* from, StructureNode* parent, StructureNode** link,
                           StructureTree& tree) {
  // Recursion follows left children only (at most twice the logarithm of the size deep); right
  // children are copied in the loop.
  while (from != nullptr) {
    // A tree's nodes lie in its pages roughly in the order this walk visits them, so the
    // memory a little further on is fetched while this node is copied: a tree far larger than
    // the caches then streams in instead of arriving a miss at a time.
    __builtin_prefetch(reinterpret_cast<const char*>(from) + kSourceAhead);
    StructureNode* node = newBlock<StructureNode>(arena_, &emptyInternedString(), &arena_);
    node->parentAndColor = reinterpret_cast<std::uintptr_t>(parent) | (from->parentAndColor & 1);
    // Linked at once, so that a throw below leaves every copy reachable for release.
    *link = node;
    ++tree.size_;
    string(&node->key, from->key);
    copyValue(node->value, from->value);
    copyNodes(from->left, node, &node->left, tree);
    parent = node;
    link = &node->right;
    from = from->right;
  }
}

void TreeCopier::string(const InternedString** slot, const InternedString* entry) {
  if (sameArena_ || isEmptyEntry(entry)) {
    arena_.retain(entry);
    *slot = entry;
    return;
  }
  const Memo& memo = memoOf(entry);
  if (memo.source == entry) {
    // Entries gain references during a copy and never lose them, so this one is alive.
    arena_.retain(memo.copy);
    *slot = memo.copy;
    return;
  }
  *slot = &emptyInternedString();
  if (queued_ - resolved_ == kPendingSize) resolveOldest();
  pending_[queued_ % kPendingSize] = {slot, entry};
  ++queued_;
  __builtin_prefetch(entry);
  // The entry queued kBucketAhead texts ago has arrived by now: its hash names the bucket.
  if (queued_ - resolved_ > kBucketAhead) {
    arena_.prefetchBucket(pending_[(queued_ - 1 - kBucketAhead) % kPendingSize].source->hash);
  }
}

void TreeCopier::resolveOldest() {
  const Pending& pending = pending_[resolved_ % kPendingSize];
  const InternedString* copy = arena_.internCopy(*pending.source);
  *pending.slot = copy;
  memoOf(pending.source) = {pending.source, copy};
  ++resolved_;
}

void TreeCopier::drain() {
  while (resolved_ != queued_) resolveOldest();
}

}  // namespace tev::internal
