#include "binding/internal/structure_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "binding/binding_arena.h"

namespace tev::internal {
namespace {

class StructureTreeTest : public ::testing::Test {
 protected:
  ~StructureTreeTest() override {
    for (auto& node : nodes_) arena_->releaseString(node->key);
  }

  // Inserts `key` unless present; returns whether it was new.
  bool insert(const std::string& key) {
    StructureNode* parent;
    bool asLeft;
    if (tree_.findSlot(key, parent, asLeft) != nullptr) return false;
    nodes_.push_back(std::make_unique<StructureNode>(arena_->intern(key), arena_.get()));
    tree_.insert(nodes_.back().get(), parent, asLeft);
    return true;
  }

  std::vector<std::string> keysInOrder() const {
    std::vector<std::string> keys;
    for (StructureNode* node = tree_.first(); node != nullptr; node = StructureTree::next(node)) {
      keys.emplace_back(node->key->view());
    }
    return keys;
  }

  UniquePtr<BindingArena> arena_ = makeUnique<BindingArena>();
  StructureTree tree_;
  std::vector<std::unique_ptr<StructureNode>> nodes_;
};

TEST_F(StructureTreeTest, StaysBalancedAndOrderedThroughRandomInsertsAndErases) {
  std::mt19937 random(12345);
  std::vector<std::string> expected;
  for (int i = 0; i < 600; ++i) {
    const std::string key = std::to_string(random() % 1000);
    if (insert(key)) expected.push_back(key);
    ASSERT_TRUE(tree_.valid()) << "after inserting " << key;
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(keysInOrder(), expected);
  EXPECT_EQ(tree_.size(), expected.size());

  std::shuffle(expected.begin(), expected.end(), random);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    StructureNode* node = tree_.find(expected[i]);
    ASSERT_NE(node, nullptr) << expected[i];
    tree_.erase(node);
    ASSERT_TRUE(tree_.valid()) << "after erasing " << expected[i];
    EXPECT_EQ(tree_.find(expected[i]), nullptr);
    EXPECT_EQ(tree_.size(), expected.size() - i - 1);
  }
  EXPECT_EQ(tree_.root(), nullptr);
}

TEST_F(StructureTreeTest, KeysInAscendingOrderLinkAfterTheLast) {
  // The way copies fill a tree: each key greater than all before it.
  StructureNode* last = nullptr;
  for (int i = 0; i < 300; ++i) {
    const std::string key = "k" + std::to_string(10000 + i).substr(1);
    nodes_.push_back(std::make_unique<StructureNode>(arena_->intern(key), arena_.get()));
    tree_.insert(nodes_.back().get(), last, false);
    last = nodes_.back().get();
    ASSERT_TRUE(tree_.valid());
  }
  EXPECT_EQ(keysInOrder().size(), 300u);
  EXPECT_EQ(keysInOrder().front(), "k0000");
  EXPECT_EQ(keysInOrder().back(), "k0299");
}

}  // namespace
}  // namespace tev::internal
