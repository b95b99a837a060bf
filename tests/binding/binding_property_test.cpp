#include "binding/binding_property.h"

#include <gtest/gtest.h>
#include <algorithm>

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "binding/binding_arena.h"
#include "binding/nesting_limit.h"
#include "platform/allocation_counters.h"
#include "platform/allocator_hooks.h"
#include "platform/thread_with_stack.h"

namespace tev {
namespace {

using Kind = BindingPropertyKind;

std::vector<std::string> keysOf(const BindingProperty& value) {
  std::vector<std::string> keys;
  for (const auto& [key, member] : value.members()) keys.emplace_back(key);
  return keys;
}

TEST(BindingPropertyKind, NamesAreTheMessageTexts) {
  const char* names[] = {"empty",  "bool", "signed", "unsigned",   "float",
                         "string", "blob", "enum",   "collection", "structure"};
  for (int code = 0; code < 10; ++code) {
    EXPECT_EQ(bindingPropertyKindName(static_cast<Kind>(code)), names[code]) << code;
  }
  EXPECT_EQ(bindingPropertyKindName(static_cast<Kind>(10)), "");
  EXPECT_EQ(bindingPropertyKindName(static_cast<Kind>(255)), "");
}

TEST(BindingProperty, DefaultIsAnEmptyRootWithoutArena) {
  BindingProperty value;
  EXPECT_EQ(value.kind(), Kind::kEmpty);
  EXPECT_EQ(value.kindName(), "empty");
  EXPECT_EQ(value.arena(), nullptr);
  EXPECT_TRUE(value.ownsArena());
  EXPECT_EQ(value.size(), 0u);
}

TEST(BindingProperty, ScalarsNeedNoArena) {
  BindingProperty value;
  value.setBool(true);
  value.setSigned(-3);
  value.setUnsigned(3);
  value.setFloat(2.5);
  value.setString("");
  EXPECT_EQ(value.arena(), nullptr);
  value.setString("x");
  EXPECT_NE(value.arena(), nullptr);
}

TEST(BindingProperty, ReadersReturnThePayloadOnlyForTheirOwnKind) {
  BindingProperty value;
  value.setSigned(-7);
  EXPECT_EQ(value.getSigned(1), -7);
  EXPECT_EQ(value.getUnsigned(9), 9u);
  EXPECT_EQ(value.getFloat(0.5), 0.5);
  EXPECT_EQ(value.getBool(true), true);
  EXPECT_EQ(value.getString("fallback"), "fallback");

  value.setUnsigned(std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(value.getUnsigned(), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(value.getSigned(4), 4);

  value.setFloat(-0.25);
  EXPECT_EQ(value.getFloat(), -0.25);
  EXPECT_EQ(value.getSigned(5), 5);

  value.setBool(false);
  EXPECT_EQ(value.getBool(true), false);

  value.setString("text");
  EXPECT_EQ(value.getString(), "text");
  EXPECT_TRUE(value.getBlob().empty());

  value.setEnum(-4, 0xABCD1234u);
  EXPECT_EQ(value.getEnum(), (BindingEnumValue{-4, 0xABCD1234u}));
  EXPECT_EQ(value.getSigned(8), 8);
  value.setSigned(1);
  EXPECT_EQ(value.getEnum({2, 3}), (BindingEnumValue{2, 3}));
}

TEST(BindingProperty, EmptyTextIsAStringOfSizeZeroOutsideTheTable) {
  BindingProperty tree;
  tree.member("a").setString("kept");
  const std::size_t before = tree.arena()->internedStringCount();
  tree.member("b").setString(std::string());
  tree.member("c").setString(static_cast<const char*>(nullptr));
  EXPECT_EQ(tree.getMember("b").kind(), Kind::kString);
  EXPECT_EQ(tree.getMember("b").size(), 0u);
  EXPECT_EQ(tree.getMember("c").kind(), Kind::kString);
  EXPECT_EQ(tree.arena()->internedStringCount(), before + 2);  // the keys "b" and "c" only
}

TEST(BindingProperty, SettingAnotherKindReleasesTheString) {
  BindingProperty value;
  value.setString("released");
  EXPECT_EQ(value.arena()->stringReferences("released"), 1u);
  value.setSigned(1);
  EXPECT_EQ(value.arena()->stringReferences("released"), 0u);
  EXPECT_EQ(value.arena()->internedStringCount(), 0u);
}

TEST(BindingProperty, EqualStringsShareOneCountedEntry) {
  BindingProperty tree;
  for (int i = 0; i < 5; ++i) tree.append().setString("same");
  EXPECT_EQ(tree.arena()->internedStringCount(), 1u);
  EXPECT_EQ(tree.arena()->stringReferences("same"), 5u);
  tree.element(0).reset();
  EXPECT_EQ(tree.arena()->stringReferences("same"), 4u);
}

TEST(BindingProperty, StringMaySetFromItsOwnText) {
  BindingProperty tree;
  tree.member("k").setString("a long text that lives on the heap, not inline");
  BindingProperty& member = tree.member("k");
  member.setString(member.getString().substr(2));
  EXPECT_EQ(member.getString(), "long text that lives on the heap, not inline");
  // A structure keyed by the value's own string.
  BindingProperty value;
  value.setString("key");
  value.member(value.getString()).setSigned(1);
  EXPECT_EQ(value.getMember("key").getSigned(), 1);
}

TEST(BindingProperty, ChildrenBorrowTheRootArena) {
  BindingProperty root;
  BindingProperty& child = root.member("child");
  BindingProperty& grandchild = child.append();
  EXPECT_TRUE(root.ownsArena());
  EXPECT_FALSE(child.ownsArena());
  EXPECT_FALSE(grandchild.ownsArena());
  EXPECT_EQ(child.arena(), root.arena());
  EXPECT_EQ(grandchild.arena(), root.arena());
}

// Structures

TEST(BindingPropertyStructure, MembersAreOrderedByUnsignedBytes) {
  BindingProperty value;
  for (const char* key : {"a", "B", "ab", "\xC3\xA9", "", "A", "z"}) value.member(key);
  const std::vector<std::string> expected = {"", "A", "B", "a", "ab", "z", "\xC3\xA9"};
  EXPECT_EQ(keysOf(value), expected);
}

TEST(BindingPropertyStructure, LongCommonPrefixesOrderByTheFirstDifferingByte) {
  // Keys that agree on their first eight bytes and more, differ only past them, or are a
  // prefix of each other, in byte order whatever the order they arrive in.
  const std::vector<std::string> expected = {
      "inventory",         "inventoryItem",     "inventoryType", "inventoryTypeA", "inventoryTypeB",
      "inventoryType\x7F", "inventoryType\x80", "inventoryTypf", "inventoryU",     "inventp"};
  for (int rotation = 0; rotation < 3; ++rotation) {
    std::vector<std::string> order = expected;
    std::rotate(order.begin(), order.begin() + rotation * 3, order.end());
    if (rotation == 2) std::reverse(order.begin(), order.end());
    BindingProperty value;
    for (const std::string& key : order) value.member(key);
    EXPECT_EQ(keysOf(value), expected) << "rotation " << rotation;
    for (const std::string& key : expected) EXPECT_TRUE(value.hasMember(key)) << key;
    EXPECT_FALSE(value.hasMember("inventoryTyp"));
  }
}

TEST(BindingPropertyStructure, KeysInAnyOrderAndErasedLastMembersKeepTheOrder) {
  for (const std::vector<std::string>& order :
       {std::vector<std::string>{"a", "b", "c", "d", "e"},
        std::vector<std::string>{"e", "d", "c", "b", "a"},
        std::vector<std::string>{"c", "e", "a", "d", "b"}}) {
    BindingProperty value;
    for (const std::string& key : order) value.member(key).setString(key);
    ASSERT_TRUE(value.eraseMember("e"));  // the largest key goes: "d" is the last one now
    value.member("d0").setSigned(1);
    value.member("d").setSigned(2);  // an existing key past nothing: found, not added
    value.member("f").setSigned(3);
    std::string keys;
    for (const BindingMember member : std::as_const(value).members()) {
      keys += std::string(member.key) + ",";
    }
    EXPECT_EQ(keys, "a,b,c,d,d0,f,") << order[0];
    EXPECT_EQ(value.size(), 6u);
    EXPECT_EQ(value.getMember("d").getSigned(), 2);
  }
}

TEST(BindingPropertyStructure, SettingAKeyAgainReplacesItsValue) {
  BindingProperty value;
  value.member("key").setSigned(1);
  value.member("key").setString("later");
  EXPECT_EQ(value.size(), 1u);
  EXPECT_EQ(value.getMember("key").getString(), "later");
  EXPECT_EQ(value.arena()->stringReferences("key"), 1u);
}

TEST(BindingPropertyStructure, ReadingNeverCreates) {
  BindingProperty value;
  EXPECT_TRUE(value.getMember("x").isEmpty());
  EXPECT_EQ(value.findMember("x"), nullptr);
  EXPECT_TRUE(value.isEmpty());
  value.member("present");
  EXPECT_TRUE(value.getMember("absent").isEmpty());
  EXPECT_FALSE(value.hasMember("absent"));
  EXPECT_TRUE(value.hasMember("present"));
  EXPECT_EQ(value.size(), 1u);
  EXPECT_EQ(&value.getMember("absent"), &BindingProperty::emptyValue());
}

TEST(BindingPropertyStructure, MemberTurnsAnotherKindIntoAStructure) {
  BindingProperty value;
  value.setString("old");
  value.member("k").setBool(true);
  EXPECT_TRUE(value.isStructure());
  EXPECT_EQ(value.arena()->stringReferences("old"), 0u);
  value.makeStructure();  // already one: unchanged
  EXPECT_EQ(value.size(), 1u);
}

TEST(BindingPropertyStructure, EraseReleasesKeyAndValue) {
  BindingProperty value;
  value.member("gone").setString("payload");
  value.member("stays");
  EXPECT_TRUE(value.eraseMember("gone"));
  EXPECT_FALSE(value.eraseMember("gone"));
  EXPECT_EQ(value.size(), 1u);
  EXPECT_EQ(value.arena()->stringReferences("gone"), 0u);
  EXPECT_EQ(value.arena()->stringReferences("payload"), 0u);
}

TEST(BindingPropertyStructure, MutableIterationReachesEveryMember) {
  BindingProperty value;
  value.member("b");
  value.member("a");
  std::int64_t n = 0;
  for (auto [key, member] : value.members()) member.setSigned(++n);
  EXPECT_EQ(value.getMember("a").getSigned(), 1);
  EXPECT_EQ(value.getMember("b").getSigned(), 2);
  EXPECT_TRUE(BindingProperty().members().empty());
}

// Collections

TEST(BindingPropertyCollection, ReadingPastTheEndDoesNotGrow) {
  BindingProperty value;
  for (int i = 0; i < 3; ++i) value.append().setSigned(i);
  EXPECT_TRUE(value.getElement(5).isEmpty());
  EXPECT_EQ(value.size(), 3u);
  EXPECT_EQ(value.getElement(2).getSigned(), 2);
  EXPECT_TRUE(BindingProperty().getElement(0).isEmpty());
}

TEST(BindingPropertyCollection, WritingPastTheEndFillsWithEmpties) {
  BindingProperty value;
  for (int i = 0; i < 3; ++i) value.append().setSigned(i);
  value.element(5).setSigned(5);
  ASSERT_EQ(value.size(), 6u);
  EXPECT_TRUE(value.getElement(3).isEmpty());
  EXPECT_TRUE(value.getElement(4).isEmpty());
  EXPECT_EQ(value.getElement(5).getSigned(), 5);
}

TEST(BindingPropertyCollection, GrowthKeepsChildrenInTheTree) {
  BindingProperty value;
  for (int i = 0; i < 200; ++i) {
    BindingProperty& record = value.append();
    record.member("index").setSigned(i);
    record.member("name").setString("record");
  }
  ASSERT_EQ(value.size(), 200u);
  for (const BindingProperty& record : value.elements()) {
    EXPECT_FALSE(record.ownsArena());
    EXPECT_EQ(record.arena(), value.arena());
  }
  EXPECT_EQ(value.getElement(199).getMember("index").getSigned(), 199);
  EXPECT_EQ(value.arena()->stringReferences("record"), 200u);
}

TEST(BindingPropertyCollection, MakeAndReserveKeepExistingElements) {
  BindingProperty value;
  value.reserve(10);  // not a collection: nothing
  EXPECT_TRUE(value.isEmpty());
  value.append().setBool(true);
  value.makeCollection();
  value.reserve(100);
  EXPECT_EQ(value.size(), 1u);
  EXPECT_TRUE(value.getElement(0).getBool());
  value.setSigned(2);
  value.makeCollection();
  EXPECT_EQ(value.size(), 0u);
}

TEST(BindingPropertyCollection, GrowingPastTheLimitThrowsLengthError) {
  BindingProperty value;
  value.makeCollection();
  EXPECT_THROW(value.reserve(kMaxCollectionSize + 1), std::length_error);
  EXPECT_THROW(value.element(kMaxCollectionSize), std::length_error);
  EXPECT_THROW(value.element(static_cast<std::size_t>(-1)), std::length_error);
  EXPECT_EQ(value.size(), 0u);
}

// Copies, moves and swaps

BindingProperty sampleTree() {
  BindingProperty tree;
  tree.member("name").setString("a name long enough to leave the small-string buffer");
  tree.member("count").setUnsigned(3);
  tree.member("kind").setEnum(2, 77);
  tree.member("bytes").setBlob("\x01\x02\x03", 3);
  BindingProperty& list = tree.member("list");
  list.append().setString("x");
  list.append().member("inner").setFloat(1.5);
  return tree;
}

void expectSampleTree(const BindingProperty& tree) {
  EXPECT_EQ(tree.getMember("name").getString(),
            "a name long enough to leave the small-string buffer");
  EXPECT_EQ(tree.getMember("count").getUnsigned(), 3u);
  EXPECT_EQ(tree.getMember("kind").getEnum(), (BindingEnumValue{2, 77}));
  EXPECT_EQ(tree.getMember("bytes").size(), 3u);
  EXPECT_EQ(tree.getMember("list").getElement(0).getString(), "x");
  EXPECT_EQ(tree.getMember("list").getElement(1).getMember("inner").getFloat(), 1.5);
}

TEST(BindingPropertyCopy, CopyOutlivesItsSourceWithOwnStrings) {
  BindingProperty copy;
  {
    BindingProperty source = sampleTree();
    copy = source;
    EXPECT_NE(copy.arena(), source.arena());
    EXPECT_EQ(copy.arena()->stringReferences("x"), 1u);
  }
  expectSampleTree(copy);
}

TEST(BindingPropertyCopy, CopyIntoAChildOfAnotherTree) {
  BindingProperty target;
  {
    const BindingProperty source = sampleTree();
    target.member("copied") = source;
    target.append();  // turns target into a collection: the copy goes away cleanly
    target.member("again") = source.getMember("list");
  }
  EXPECT_EQ(target.getMember("again").getElement(0).getString(), "x");
  EXPECT_EQ(target.arena()->stringReferences("x"), 1u);
}

TEST(BindingPropertyCopy, CopyBetweenRelativesOfOneTree) {
  BindingProperty tree = sampleTree();
  tree = tree.getMember("list");  // a descendant into its ancestor
  EXPECT_EQ(tree.getElement(0).getString(), "x");
  EXPECT_EQ(tree.arena()->stringReferences("name"), 0u);

  BindingProperty other = sampleTree();
  other.member("list").element(0) = other;  // an ancestor into its descendant
  expectSampleTree(other.getMember("list").getElement(0));
  EXPECT_EQ(other.arena()->stringReferences("x"), 1u);  // the old element 0 is gone
}

// A whole tree copied into an empty one takes its strings in one go (the table sized once, each
// entry found by the hash it had in the source); the copy's table must still answer lookups by
// text, hold one reference per use and grow normally afterwards.
TEST(BindingPropertyCopy, AWholeTreeCopyKeepsItsStringTableSound) {
  BindingProperty source;
  BindingProperty& items = source.member("items");
  for (int i = 0; i < 600; ++i) {
    BindingProperty& record = items.append();
    record.member("name").setString("item " + std::to_string(i));
    record.member("long").setString(std::string(60 + i % 50, static_cast<char>('a' + i % 26)));
  }
  BindingProperty copy(source);
  const std::size_t sourceStrings = source.arena()->internedStringCount();
  EXPECT_EQ(copy.arena()->internedStringCount(), sourceStrings);
  EXPECT_GE(copy.arena()->bucketCount(), sourceStrings);
  EXPECT_EQ(copy.arena()->stringReferences("name"), 600u);
  EXPECT_EQ(copy.arena()->stringReferences("item 599"), 1u);
  EXPECT_EQ(copy.arena()->stringReferences(std::string(60, 'a')), 1u);
  source.reset();
  for (int i = 600; i < 3000; ++i) copy.member("items").append().setString(std::to_string(i));
  EXPECT_EQ(copy.getMember("items").getElement(599).getMember("name").getString(), "item 599");
  EXPECT_EQ(copy.arena()->stringReferences("2999"), 1u);
  EXPECT_EQ(copy.getMember("items").getElement(77).getMember("long").getString(),
            std::string(60 + 77 % 50, static_cast<char>('a' + 77 % 26)));
}

TEST(BindingPropertyCopy, CopyConstructionMakesANewRoot) {
  const BindingProperty tree = sampleTree();
  BindingProperty copy(tree.getMember("list"));
  EXPECT_TRUE(copy.ownsArena());
  EXPECT_NE(copy.arena(), tree.arena());
  EXPECT_EQ(copy.getElement(1).getMember("inner").getFloat(), 1.5);
}

TEST(BindingPropertyCopy, CopiedStructuresStayBalancedUnderLaterChanges) {
  BindingProperty source;
  for (int i = 0; i < 500; ++i) source.member("key" + std::to_string(i)).setSigned(i);
  BindingProperty copy = source;
  for (int i = 0; i < 500; i += 2) EXPECT_TRUE(copy.eraseMember("key" + std::to_string(i)));
  for (int i = 0; i < 250; ++i) copy.member("new" + std::to_string(i)).setSigned(-i);
  ASSERT_EQ(copy.size(), 500u);
  std::string previous;
  for (const auto& [key, value] : copy.members()) {
    EXPECT_LT(previous, std::string(key));
    previous = std::string(key);
  }
  EXPECT_EQ(copy.getMember("key7").getSigned(), 7);
  EXPECT_TRUE(copy.getMember("key8").isEmpty());
  EXPECT_EQ(copy.getMember("new9").getSigned(), -9);
}

TEST(BindingPropertyCollection, ShortStorageLivesInTheArenaAndMovesToTheHeapWhenItGrows) {
  const AllocationSnapshot before = snapshot(processAllocationCounters());
  std::uint64_t heapAllocations = 0;
  {
    BindingProperty tree;
    tree.makeCollection();
    for (int i = 0; i < 40; ++i) {
      BindingProperty& element = tree.append();
      if (i % 2 == 0) {
        element.member("index").setSigned(i);
      } else {
        element.setString("element");
      }
      // Every element so far survives each move of the storage, arena to heap included.
      for (int j = 0; j <= i; ++j) {
        const BindingProperty& seen = tree.getElement(static_cast<std::size_t>(j));
        if (j % 2 == 0) {
          ASSERT_EQ(seen.getMember("index").getSigned(-1), j) << "after " << i + 1;
        } else {
          ASSERT_EQ(seen.getString(), "element") << "after " << i + 1;
        }
      }
      if (i + 1 == 3) {
        // Three elements fit an arena block on every target: no heap storage yet.
        heapAllocations = snapshot(processAllocationCounters()).allocations - before.allocations;
      }
    }
    EXPECT_GT(snapshot(processAllocationCounters()).allocations - before.allocations,
              heapAllocations)
        << "longer storage comes from the hooks";

    // Copies, reservations and resets on both sides of the boundary.
    BindingProperty copy = tree;
    EXPECT_EQ(copy.size(), 40u);
    EXPECT_EQ(copy.getElement(38).getMember("index").getSigned(), 38);
    BindingProperty shortList;
    shortList.makeCollection();
    shortList.reserve(2);
    shortList.append().setSigned(1);
    shortList.append().setSigned(2);
    shortList.reserve(10);
    EXPECT_EQ(shortList.getElement(1).getSigned(), 2);
    BindingProperty shortCopy = shortList;
    tree.element(0) = shortCopy;
    EXPECT_EQ(tree.getElement(0).getElement(1).getSigned(), 2);
    copy.reset();
    shortList.reset();
  }
  EXPECT_EQ(snapshot(processAllocationCounters()).bytesInUse(), before.bytesInUse());
  EXPECT_EQ(heapAllocations, 1u) << "only the arena itself, for three short elements";
}

std::size_t allocationsLeft = 0;
void* failingAllocate(std::size_t size, void* context) {
  if (allocationsLeft == 0) return nullptr;
  --allocationsLeft;
  return countingAllocate(size, context);
}

TEST(BindingPropertyCopy, ACopyThatRunsOutOfMemoryLeavesTheTargetAsItWas) {
  BindingProperty source;
  for (int i = 0; i < 50; ++i) {
    BindingProperty& record = source.append();
    record.member("name").setString("record");
    // Longer than arena blocks hold, so every list has heap storage.
    for (int j = 0; j < 8; ++j) record.member("list").append().setSigned(i + j);
  }
  BindingProperty target;
  target.member("kept").setString("old value");
  AllocatorHooks& hooks = allocatorHooks();
  const AllocatorHooks saved = hooks;
  allocationsLeft = 20;  // fails partway through the records' element storage
  hooks.allocate = &failingAllocate;
  EXPECT_THROW(target = source, std::bad_alloc);
  hooks = saved;
  EXPECT_EQ(target.size(), 1u);
  EXPECT_EQ(target.getMember("kept").getString(), "old value");
  EXPECT_EQ(target.arena()->stringReferences("record"), 0u);
  EXPECT_EQ(source.getElement(49).getMember("list").getElement(0).getSigned(), 49);
}

// Texts new to the target's arena are interned a little after their slot is copied. Running out
// of memory at any point of such a copy, texts still waiting included, must leave the target as
// it was and nothing held: no string reference, no heap block.
TEST(BindingPropertyCopy, RunningOutOfMemoryAtAnyPointOfACopyOfManyNewTextsLeaksNothing) {
  BindingProperty source;
  for (int i = 0; i < 40; ++i) {
    BindingProperty& record = source.member("record " + std::to_string(i));
    record.member("name").setString("name " + std::to_string(i));
    // Longer than arena blocks hold: these texts take heap blocks when interned.
    record.member("note").setString(std::string(90, static_cast<char>('a' + i % 26)) +
                                    std::to_string(i));
  }
  AllocatorHooks& hooks = allocatorHooks();
  const AllocatorHooks saved = hooks;
  bool completed = false;
  for (std::size_t failAfter = 0; failAfter < 200 && !completed; ++failAfter) {
    const AllocationSnapshot before = snapshot(processAllocationCounters());
    {
      BindingProperty target;
      target.member("kept").setString("old value");
      allocationsLeft = failAfter;
      hooks.allocate = &failingAllocate;
      try {
        target = source;
        completed = true;
      } catch (const std::bad_alloc&) {
      }
      hooks = saved;
      if (completed) {
        EXPECT_EQ(target.getMember("record 39").getMember("note").getString().substr(90), "39");
        EXPECT_EQ(target.arena()->stringReferences("name"), 40u);
        continue;
      }
      ASSERT_EQ(target.size(), 1u) << "failing after " << failAfter << " allocations";
      EXPECT_EQ(target.getMember("kept").getString(), "old value");
      EXPECT_EQ(target.arena()->internedStringCount(), 2u) << "kept, old value";
    }
    EXPECT_EQ(snapshot(processAllocationCounters()).bytesInUse(), before.bytesInUse())
        << "failing after " << failAfter << " allocations";
  }
  EXPECT_TRUE(completed) << "a copy with enough memory";
}

TEST(BindingPropertyMove, RootsExchangeWithoutCopying) {
  BindingProperty source = sampleTree();
  BindingArena* arena = source.arena();
  BindingProperty target(std::move(source));
  EXPECT_EQ(target.arena(), arena);
  EXPECT_TRUE(source.isEmpty());  // NOLINT(bugprone-use-after-move)
  expectSampleTree(target);
}

TEST(BindingPropertyMove, ChildIntoOtherTreeIsCopiedAndSourceReset) {
  BindingProperty source = sampleTree();
  BindingProperty target;
  target.member("moved") = std::move(source.member("list"));
  EXPECT_TRUE(source.getMember("list").isEmpty());
  EXPECT_TRUE(source.hasMember("list"));
  EXPECT_EQ(source.arena()->stringReferences("x"), 0u);
  EXPECT_EQ(target.getMember("moved").getElement(0).getString(), "x");
}

TEST(BindingPropertyMove, WithinOneTreeThePayloadMovesOver) {
  BindingProperty tree = sampleTree();
  tree.member("other") = std::move(tree.member("list"));
  EXPECT_TRUE(tree.getMember("list").isEmpty());
  EXPECT_EQ(tree.getMember("other").getElement(0).getString(), "x");
  EXPECT_EQ(tree.arena()->stringReferences("x"), 1u);
  tree = std::move(tree.member("other"));  // a descendant into the root
  EXPECT_EQ(tree.getElement(0).getString(), "x");
}

TEST(BindingPropertySwap, ChildAndRootOfDifferentTreesExchangeValues) {
  BindingProperty tree = sampleTree();
  BindingProperty root;
  root.setString("root text");
  tree.member("count").swap(root);
  EXPECT_EQ(tree.getMember("count").getString(), "root text");
  EXPECT_EQ(root.getUnsigned(), 3u);
  swap(root, tree.member("list"));
  EXPECT_EQ(root.getElement(0).getString(), "x");
  EXPECT_EQ(tree.getMember("list").getUnsigned(), 3u);
}

TEST(BindingPropertySwap, SiblingsExchangePayloads) {
  BindingProperty tree = sampleTree();
  tree.member("count").swap(tree.member("name"));
  EXPECT_EQ(tree.getMember("count").getString(),
            "a name long enough to leave the small-string buffer");
  EXPECT_EQ(tree.getMember("name").getUnsigned(), 3u);
}

// The packed word that 64-bit builds keep the arena, the kind and the root flag in. Tested on
// every build: the 32-bit build packs its 32-bit addresses the same way.
TEST(BindingPropertyHeader, ArenaKindAndRootFlagChangeIndependently) {
  using Header = internal::ValueHeader<8>;
  alignas(16) static unsigned char storage[16];
  BindingArena* arena = reinterpret_cast<BindingArena*>(storage);

  Header root;
  EXPECT_EQ(root.arena(), nullptr);
  EXPECT_EQ(root.kind(), Kind::kEmpty);
  EXPECT_TRUE(root.owns());

  root.setArena(arena);
  root.setKind(Kind::kStructure);
  EXPECT_EQ(root.arena(), arena);
  EXPECT_EQ(root.kind(), Kind::kStructure);
  EXPECT_TRUE(root.owns());
  root.setKind(static_cast<Kind>(0xFF));  // every bit of the kind's byte set
  EXPECT_EQ(root.arena(), arena);
  EXPECT_TRUE(root.owns());
  root.setKind(Kind::kEmpty);
  EXPECT_EQ(root.arena(), arena);
  EXPECT_TRUE(root.owns());

  Header child(arena, false);
  child.setKind(static_cast<Kind>(0xFF));
  EXPECT_FALSE(child.owns());
  EXPECT_EQ(child.arena(), arena);
  child.setArena(nullptr);
  EXPECT_EQ(child.kind(), static_cast<Kind>(0xFF));
  EXPECT_FALSE(child.owns());

  EXPECT_TRUE(Header::fits(arena));
  if constexpr (sizeof(void*) == 8) {
    // An address above 48 bits would overlap the kind: such an arena is refused.
    const std::uint64_t high = (std::uint64_t{1} << 50) | 0x1000;
    EXPECT_FALSE(
        Header::fits(reinterpret_cast<const BindingArena*>(static_cast<std::uintptr_t>(high))));
  }
}

// Blobs and enums

TEST(BindingPropertyBlob, TakesOverOrCopiesBytes) {
  Vector<std::uint8_t> bytes = {1, 2, 3, 4};
  const std::uint8_t* storage = bytes.data();
  BindingProperty value;
  value.setBlob(std::move(bytes));
  EXPECT_EQ(value.getBlob().data(), storage);
  EXPECT_EQ(value.size(), 4u);
  value.setBlob(value.getBlob().data() + 1, 2);  // from its own bytes
  ASSERT_EQ(value.size(), 2u);
  EXPECT_EQ(value.getBlob()[0], 2);
  EXPECT_EQ(value.getBlob()[1], 3);
  value.setBlob(nullptr, 0);
  EXPECT_TRUE(value.isBlob());
  EXPECT_EQ(value.size(), 0u);
}

// Truth value and text form

struct TruthRow {
  const char* label;
  void (*set)(BindingProperty&);
  bool expected;
};

TEST(BindingPropertyTruth, FollowsTheKindRules) {
  const TruthRow rows[] = {
      {"empty", [](BindingProperty&) {}, false},
      {"false", [](BindingProperty& v) { v.setBool(false); }, false},
      {"true", [](BindingProperty& v) { v.setBool(true); }, true},
      {"signed 0", [](BindingProperty& v) { v.setSigned(0); }, false},
      {"signed -1", [](BindingProperty& v) { v.setSigned(-1); }, true},
      {"unsigned 0", [](BindingProperty& v) { v.setUnsigned(0); }, false},
      {"unsigned 2", [](BindingProperty& v) { v.setUnsigned(2); }, true},
      {"float 0", [](BindingProperty& v) { v.setFloat(0.0); }, false},
      {"float -0", [](BindingProperty& v) { v.setFloat(-0.0); }, false},
      {"float 0.1", [](BindingProperty& v) { v.setFloat(0.1); }, true},
      {"float NaN", [](BindingProperty& v) { v.setFloat(std::nan("")); }, true},
      {"\"true\"", [](BindingProperty& v) { v.setString("true"); }, true},
      {"\"1\"", [](BindingProperty& v) { v.setString("1"); }, true},
      {"\"True\"", [](BindingProperty& v) { v.setString("True"); }, false},
      {"\"yes\"", [](BindingProperty& v) { v.setString("yes"); }, false},
      {"\"0\"", [](BindingProperty& v) { v.setString("0"); }, false},
      {"\"true \"", [](BindingProperty& v) { v.setString("true "); }, false},
      {"\"\"", [](BindingProperty& v) { v.setString(""); }, false},
      {"blob empty", [](BindingProperty& v) { v.setBlob(nullptr, 0); }, false},
      {"blob", [](BindingProperty& v) { v.setBlob("\0", 1); }, true},
      {"enum 0", [](BindingProperty& v) { v.setEnum(0, 1); }, false},
      {"enum -2", [](BindingProperty& v) { v.setEnum(-2, 1); }, true},
      {"collection empty", [](BindingProperty& v) { v.makeCollection(); }, false},
      {"collection", [](BindingProperty& v) { v.append(); }, true},
      {"structure empty", [](BindingProperty& v) { v.makeStructure(); }, false},
      {"structure", [](BindingProperty& v) { v.member("m"); }, true},
  };
  for (const TruthRow& row : rows) {
    BindingProperty value;
    row.set(value);
    EXPECT_EQ(value.truthValue(), row.expected) << row.label;
  }
}

struct TextRow {
  void (*set)(BindingProperty&);
  const char* expected;
};

TEST(BindingPropertyText, FollowsTheKindRules) {
  const TextRow rows[] = {
      {[](BindingProperty&) {}, ""},
      {[](BindingProperty& v) { v.setBool(true); }, "true"},
      {[](BindingProperty& v) { v.setBool(false); }, "false"},
      {[](BindingProperty& v) { v.setSigned(-7); }, "-7"},
      {[](BindingProperty& v) { v.setSigned(INT64_MIN); }, "-9223372036854775808"},
      {[](BindingProperty& v) { v.setUnsigned(UINT64_MAX); }, "18446744073709551615"},
      {[](BindingProperty& v) { v.setFloat(1.5); }, "1.500000"},
      {[](BindingProperty& v) { v.setFloat(-0.0000004); }, "-0.000000"},
      {[](BindingProperty& v) { v.setFloat(1e20); }, "100000000000000000000.000000"},
      {[](BindingProperty& v) { v.setString("as is"); }, "as is"},
      {[](BindingProperty& v) { v.setBlob("\xFF\x00\x10", 3); }, "/wAQ"},
      {[](BindingProperty& v) { v.setBlob("ab", 2); }, "YWI="},
      {[](BindingProperty& v) { v.setEnum(-12, 5); }, "-12"},
      {[](BindingProperty& v) { v.append().setSigned(1); }, ""},
      {[](BindingProperty& v) { v.member("a").setSigned(1); }, ""},
  };
  for (const TextRow& row : rows) {
    BindingProperty value;
    row.set(value);
    EXPECT_EQ(std::string(value.textForm()), row.expected) << value.kindName();
  }
  BindingProperty huge;
  huge.setFloat(std::numeric_limits<double>::max());
  EXPECT_EQ(huge.textForm().size(), 316u);  // 309 digits, point, six decimals
}

TEST(BindingPropertySize, FollowsTheKindRules) {
  BindingProperty value;
  EXPECT_EQ(value.size(), 0u);
  value.setBool(false);
  EXPECT_EQ(value.size(), 1u);
  value.setFloat(0);
  EXPECT_EQ(value.size(), 1u);
  value.setEnum(0, 0);
  EXPECT_EQ(value.size(), 1u);
  value.setString("four");
  EXPECT_EQ(value.size(), 4u);
}

// The walk

class RecordingVisitor : public BindingPropertyVisitor {
 public:
  std::string log;
  void visitNull() override { log += "null "; }
  void visitBool(bool v) override { log += v ? "true " : "false "; }
  void visitSigned(std::int64_t v) override { log += "s" + std::to_string(v) + " "; }
  void visitUnsigned(std::uint64_t v) override { log += "u" + std::to_string(v) + " "; }
  void visitFloat(double v) override { log += "f" + std::to_string(static_cast<int>(v)) + " "; }
  void visitString(std::string_view v) override { log += "'" + std::string(v) + "' "; }
  void visitBlob(std::span<const std::uint8_t> v) override {
    log += "blob" + std::to_string(v.size()) + " ";
  }
  void visitEnum(std::int32_t v, std::uint32_t t) override {
    log += "enum" + std::to_string(v) + "/" + std::to_string(t) + " ";
  }
  void beginCollection(std::size_t n) override { log += "[" + std::to_string(n) + " "; }
  void beginElement(std::size_t i) override { log += "<" + std::to_string(i) + " "; }
  void endElement(std::size_t i) override { log += std::to_string(i) + "> "; }
  void endCollection() override { log += "] "; }
  void beginStructure(std::size_t n) override { log += "{" + std::to_string(n) + " "; }
  void beginMember(std::string_view k) override { log += std::string(k) + ": "; }
  void endMember(std::string_view k) override { log += "/" + std::string(k) + " "; }
  void endStructure() override { log += "} "; }
};

TEST(BindingPropertyVisitor, WalksContainersInOrderAndMembersByKey) {
  BindingProperty value;
  value.member("z").setSigned(-1);
  value.member("a").setUnsigned(2);
  BindingProperty& list = value.member("m");
  list.append();
  list.append().setBool(true);
  list.append().setBlob("ab", 2);
  value.member("e").setEnum(3, 9);
  value.member("f").setFloat(4.0);
  value.member("s").setString("t");
  RecordingVisitor visitor;
  value.accept(visitor);
  EXPECT_EQ(visitor.log,
            "{6 a: u2 /a e: enum3/9 /e f: f4 /f m: [3 <0 null 0> <1 true 1> <2 blob2 2> ] /m "
            "s: 't' /s z: s-1 /z } ");
}

TEST(BindingPropertyDepth, DeepTreesCopyWalkAndDieOnAHostSizedStack) {
  // Readers refuse input past the nesting limit; trees at twice that depth must still be safe
  // to copy, walk and destroy on the 1 MiB stacks that hosts give their threads.
  bool done = false;
  ASSERT_TRUE(platform::runWithStack(1024 * 1024, [&] {
    BindingProperty root;
    BindingProperty* level = &root;
    for (std::size_t depth = 0; depth < 2 * kMaxNestingDepth; ++depth) {
      level = depth % 2 == 0 ? &level->append() : &level->member("next");
    }
    level->setString("bottom");
    BindingProperty copy = root;
    RecordingVisitor visitor;
    copy.accept(visitor);
    done = visitor.log.find("'bottom'") != std::string::npos;
  }));
  EXPECT_TRUE(done);
}

}  // namespace
}  // namespace tev
