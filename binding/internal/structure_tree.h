// The ordered members of a structure value: a red-black tree whose header and nodes are blocks
// of the tree's arena, ordered by key bytes taken unsigned. Only BindingProperty creates,
// links and frees nodes; the tree itself never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/interned_string.h"

namespace tev::internal {

struct StructureNode {
  StructureNode(const InternedString* memberKey, BindingArena* arena) noexcept
      : key(memberKey), value(BindingProperty::ChildTag{}, arena) {}

  StructureNode* parent() const {
    return reinterpret_cast<StructureNode*>(parentAndColor & ~std::uintptr_t{1});
  }
  bool red() const { return (parentAndColor & 1) != 0; }
  void setParent(StructureNode* node) {
    parentAndColor = reinterpret_cast<std::uintptr_t>(node) | (parentAndColor & 1);
  }
  void setRed(bool isRed) {
    parentAndColor = (parentAndColor & ~std::uintptr_t{1}) | (isRed ? 1 : 0);
  }

  StructureNode* left = nullptr;
  StructureNode* right = nullptr;
  std::uintptr_t parentAndColor = 0;  // the parent's address; bit 0 set for a red node
  const InternedString* key;          // a counted reference into the arena's string table
  BindingProperty value;
};

class StructureTree {
 public:
  StructureNode* root() const { return root_; }
  std::size_t size() const { return size_; }
  // The member with the largest key, or null. Members often arrive in key order (every writer of
  // this framework lists them so), and a key past the last one is linked without a search.
  StructureNode* last() const { return last_; }

  // The member with the smallest key, or null; the next one in key order, or null.
  StructureNode* first() const;
  static StructureNode* next(const StructureNode* node);

  StructureNode* find(std::string_view key) const;
  // The node for `key`, or null with `parent` and `asLeft` naming where it would be linked.
  StructureNode* findSlot(std::string_view key, StructureNode*& parent, bool& asLeft) const;

  // Links `node` at a slot from findSlot (or as right child of last(), for a key past it) and
  // rebalances.
  void insert(StructureNode* node, StructureNode* parent, bool asLeft);
  // Unlinks `node` and rebalances; the caller frees it.
  void erase(StructureNode* node);

  // Finds last() again after nodes were linked directly, as the copier does.
  void refreshLast();

  // Checks order, parent links, colours, black heights and last(). For tests.
  bool valid() const;

 private:
  friend class TreeCopier;  // copies a tree's shape and colours node for node

  void rotateLeft(StructureNode* node);
  void rotateRight(StructureNode* node);
  void replace(StructureNode* node, StructureNode* replacement);
  void fixAfterErase(StructureNode* node, StructureNode* parent);

  StructureNode* root_ = nullptr;
  StructureNode* last_ = nullptr;
  std::size_t size_ = 0;
};

inline StructureNode* StructureTree::next(const StructureNode* node) {
  if (node->right != nullptr) {
    StructureNode* next = node->right;
    while (next->left != nullptr) next = next->left;
    return next;
  }
  StructureNode* parent = node->parent();
  while (parent != nullptr && node == parent->right) {
    node = parent;
    parent = parent->parent();
  }
  return parent;
}

}  // namespace tev::internal
