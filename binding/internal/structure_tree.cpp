#include "binding/binding_property.h"  // defines BindingProperty before the tree's nodes

#include "binding/internal/structure_tree.h"

namespace tev::internal {
namespace {

bool isRed(const StructureNode* node) { return node != nullptr && node->red(); }

// Black height of the subtree, or -1 when it breaks a rule.
int checkSubtree(const StructureNode* node, const StructureNode* parent, const InternedString* low,
                 const InternedString* high) {
  if (node == nullptr) return 0;
  if (node->parent() != parent) return -1;
  if (low != nullptr && !bytesLess(low->view(), node->key->view())) return -1;
  if (high != nullptr && !bytesLess(node->key->view(), high->view())) return -1;
  if (node->red() && (isRed(node->left) || isRed(node->right))) return -1;
  const int left = checkSubtree(node->left, node, low, node->key);
  const int right = checkSubtree(node->right, node, node->key, high);
  if (left < 0 || left != right) return -1;
  return left + (node->red() ? 0 : 1);
}

std::size_t countNodes(const StructureNode* node) {
  return node == nullptr ? 0 : 1 + countNodes(node->left) + countNodes(node->right);
}

}  // namespace

StructureNode* StructureTree::first() const {
  StructureNode* node = root_;
  if (node == nullptr) return nullptr;
  while (node->left != nullptr) node = node->left;
  return node;
}

StructureNode* StructureTree::find(std::string_view key) const {
  StructureNode* node = root_;
  while (node != nullptr) {
    const std::string_view nodeKey = node->key->view();
    if (bytesLess(key, nodeKey)) {
      node = node->left;
    } else if (bytesLess(nodeKey, key)) {
      node = node->right;
    } else {
      return node;
    }
  }
  return nullptr;
}

StructureNode* StructureTree::findSlot(std::string_view key, StructureNode*& parent,
                                       bool& asLeft) const {
  parent = nullptr;
  asLeft = true;
  StructureNode* node = root_;
  while (node != nullptr) {
    const std::string_view nodeKey = node->key->view();
    if (bytesLess(key, nodeKey)) {
      parent = node;
      asLeft = true;
      node = node->left;
    } else if (bytesLess(nodeKey, key)) {
      parent = node;
      asLeft = false;
      node = node->right;
    } else {
      return node;
    }
  }
  return nullptr;
}

void StructureTree::rotateLeft(StructureNode* node) {
  StructureNode* pivot = node->right;
  node->right = pivot->left;
  if (pivot->left != nullptr) pivot->left->setParent(node);
  replace(node, pivot);
  pivot->left = node;
  node->setParent(pivot);
}

void StructureTree::rotateRight(StructureNode* node) {
  StructureNode* pivot = node->left;
  node->left = pivot->right;
  if (pivot->right != nullptr) pivot->right->setParent(node);
  replace(node, pivot);
  pivot->right = node;
  node->setParent(pivot);
}

// Puts `replacement` where `node` hangs from its parent (or at the root).
void StructureTree::replace(StructureNode* node, StructureNode* replacement) {
  StructureNode* parent = node->parent();
  if (parent == nullptr) {
    root_ = replacement;
  } else if (node == parent->left) {
    parent->left = replacement;
  } else {
    parent->right = replacement;
  }
  if (replacement != nullptr) replacement->setParent(parent);
}

void StructureTree::refreshLast() {
  last_ = root_;
  if (last_ == nullptr) return;
  while (last_->right != nullptr) last_ = last_->right;
}

void StructureTree::insert(StructureNode* node, StructureNode* parent, bool asLeft) {
  if (parent == nullptr || (parent == last_ && !asLeft)) last_ = node;
  node->left = nullptr;
  node->right = nullptr;
  node->parentAndColor = reinterpret_cast<std::uintptr_t>(parent) | 1;
  if (parent == nullptr) {
    root_ = node;
  } else if (asLeft) {
    parent->left = node;
  } else {
    parent->right = node;
  }
  ++size_;
  for (;;) {
    parent = node->parent();
    if (parent == nullptr) {
      node->setRed(false);
      return;
    }
    if (!parent->red()) return;
    // A red parent is never the root, so the grandparent exists.
    StructureNode* grandparent = parent->parent();
    const bool parentIsLeft = parent == grandparent->left;
    StructureNode* uncle = parentIsLeft ? grandparent->right : grandparent->left;
    if (isRed(uncle)) {
      parent->setRed(false);
      uncle->setRed(false);
      grandparent->setRed(true);
      node = grandparent;
      continue;
    }
    if (parentIsLeft) {
      if (node == parent->right) {
        rotateLeft(parent);
        parent = node;
      }
      parent->setRed(false);
      grandparent->setRed(true);
      rotateRight(grandparent);
    } else {
      if (node == parent->left) {
        rotateRight(parent);
        parent = node;
      }
      parent->setRed(false);
      grandparent->setRed(true);
      rotateLeft(grandparent);
    }
    return;
  }
}

void StructureTree::erase(StructureNode* node) {
  if (node == last_) {
    // The last node has no right child: its predecessor is the largest of its left subtree,
    // or else its parent.
    StructureNode* previous = node->left;
    if (previous != nullptr) {
      while (previous->right != nullptr) previous = previous->right;
    } else {
      previous = node->parent();
    }
    last_ = previous;
  }
  StructureNode* child;
  StructureNode* childParent;
  bool removedRed = node->red();
  if (node->left == nullptr) {
    child = node->right;
    childParent = node->parent();
    replace(node, node->right);
  } else if (node->right == nullptr) {
    child = node->left;
    childParent = node->parent();
    replace(node, node->left);
  } else {
    // Two children: the successor takes the node's place and colour.
    StructureNode* successor = node->right;
    while (successor->left != nullptr) successor = successor->left;
    removedRed = successor->red();
    child = successor->right;
    if (successor->parent() == node) {
      childParent = successor;
    } else {
      childParent = successor->parent();
      replace(successor, successor->right);
      successor->right = node->right;
      successor->right->setParent(successor);
    }
    replace(node, successor);
    successor->left = node->left;
    successor->left->setParent(successor);
    successor->setRed(node->red());
  }
  --size_;
  if (!removedRed) fixAfterErase(child, childParent);
}

void StructureTree::fixAfterErase(StructureNode* node, StructureNode* parent) {
  // `node` (possibly null) carries an extra black; `parent` is its parent.
  while (node != root_ && !isRed(node)) {
    if (node == parent->left) {
      StructureNode* sibling = parent->right;
      if (sibling->red()) {
        sibling->setRed(false);
        parent->setRed(true);
        rotateLeft(parent);
        sibling = parent->right;
      }
      if (!isRed(sibling->left) && !isRed(sibling->right)) {
        sibling->setRed(true);
        node = parent;
        parent = node->parent();
        continue;
      }
      if (!isRed(sibling->right)) {
        sibling->left->setRed(false);
        sibling->setRed(true);
        rotateRight(sibling);
        sibling = parent->right;
      }
      sibling->setRed(parent->red());
      parent->setRed(false);
      sibling->right->setRed(false);
      rotateLeft(parent);
    } else {
      StructureNode* sibling = parent->left;
      if (sibling->red()) {
        sibling->setRed(false);
        parent->setRed(true);
        rotateRight(parent);
        sibling = parent->left;
      }
      if (!isRed(sibling->left) && !isRed(sibling->right)) {
        sibling->setRed(true);
        node = parent;
        parent = node->parent();
        continue;
      }
      if (!isRed(sibling->left)) {
        sibling->right->setRed(false);
        sibling->setRed(true);
        rotateLeft(sibling);
        sibling = parent->left;
      }
      sibling->setRed(parent->red());
      parent->setRed(false);
      sibling->left->setRed(false);
      rotateRight(parent);
    }
    node = root_;
  }
  if (node != nullptr) node->setRed(false);
}

bool StructureTree::valid() const {
  if (isRed(root_)) return false;
  const StructureNode* largest = root_;
  while (largest != nullptr && largest->right != nullptr) largest = largest->right;
  if (largest != last_) return false;
  return checkSubtree(root_, nullptr, nullptr, nullptr) >= 0 && countNodes(root_) == size_;
}

}  // namespace tev::internal
