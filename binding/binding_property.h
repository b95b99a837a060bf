// BindingProperty: the one dynamic value of the framework. Bodies, records, events and errors
// travel as trees of these. A value constructed on its own is a root and owns the arena that
// holds its tree's payloads (created on first need); children live inside their parent's
// collection or structure and borrow that arena. References to children stay valid until their
// parent changes kind or is reset; an append to a collection may move its elements. One tree is
// used by one thread at a time. Walks, copies and destruction recurse once per level of nesting,
// so whoever builds trees from outside input bounds their depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "binding/binding_property_visitor.h"
#include "platform/allocator.h"

namespace tev {

class BindingArena;
struct InternedString;

namespace internal {
struct BlobStorage;
struct PropertyVector;
struct StructureNode;
class StructureTree;
class TreeCopier;
class DeferredStrings;
}  // namespace internal

// The kind of a value. The codes are fixed; their names appear in conversion error messages.
enum class BindingPropertyKind : std::uint8_t {
  kEmpty = 0,
  kBool = 1,
  kSigned = 2,
  kUnsigned = 3,
  kFloat = 4,
  kString = 5,
  kBlob = 6,
  kEnum = 7,
  kCollection = 8,
  kStructure = 9,
};

namespace internal {
// Where a value keeps its arena reference, its kind and whether it is the root that owns the
// arena. 32-bit builds hold them as three fields of 4, 1 and 1 bytes. 64-bit builds pack them
// into one word: the arena's address in the low 48 bits, the kind in the byte above and the flag
// in the top byte. A value is then 16 bytes on both, and a structure's member node 48 bytes
// instead of 56 on 64-bit builds, so that a large tree needs a ninth less memory. Linux and
// Windows on x86-64 hand a program addresses below 2^47 unless it asks for higher ones, so an
// arena's address fits; BindingProperty refuses one that does not.
template <std::size_t PointerSize>
class ValueHeader {
 public:
  ValueHeader() noexcept = default;
  ValueHeader(BindingArena* arena, bool owns) noexcept : arena_(arena), owns_(owns ? 1 : 0) {}

  BindingArena* arena() const { return arena_; }
  void setArena(BindingArena* arena) { arena_ = arena; }
  static bool fits(const BindingArena*) { return true; }
  BindingPropertyKind kind() const { return kind_; }
  void setKind(BindingPropertyKind kind) { kind_ = kind; }
  bool owns() const { return owns_ != 0; }

 private:
  BindingArena* arena_ = nullptr;
  BindingPropertyKind kind_ = BindingPropertyKind::kEmpty;
  std::uint8_t owns_ = 1;
};

template <>
class ValueHeader<8> {
 public:
  ValueHeader() noexcept = default;
  ValueHeader(BindingArena* arena, bool owns) noexcept
      : word_(address(arena) | (owns ? kOwnsBit : 0)) {}

  BindingArena* arena() const { return reinterpret_cast<BindingArena*>(word_ & kAddressMask); }
  void setArena(BindingArena* arena) { word_ = (word_ & ~kAddressMask) | address(arena); }
  static bool fits(const BindingArena* arena) { return (address(arena) & ~kAddressMask) == 0; }
  BindingPropertyKind kind() const {
    return static_cast<BindingPropertyKind>(static_cast<std::uint8_t>(word_ >> kKindShift));
  }
  void setKind(BindingPropertyKind kind) {
    word_ = (word_ & ~kKindMask) | (std::uint64_t{static_cast<std::uint8_t>(kind)} << kKindShift);
  }
  bool owns() const { return (word_ & kOwnsBit) != 0; }

 private:
  static constexpr std::uint64_t kAddressMask = (std::uint64_t{1} << 48) - 1;
  static constexpr int kKindShift = 48;
  static constexpr std::uint64_t kKindMask = std::uint64_t{0xFF} << kKindShift;
  static constexpr std::uint64_t kOwnsBit = std::uint64_t{1} << 56;

  static std::uint64_t address(const BindingArena* arena) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(arena));
  }

  std::uint64_t word_ = kOwnsBit;  // no arena, empty, a root
};

}  // namespace internal

// "empty", "bool", "signed", "unsigned", "float", "string", "blob", "enum", "collection",
// "structure"; the empty text for any other code.
std::string_view bindingPropertyKindName(BindingPropertyKind kind);

// The payload of an enum value: the enumerator's value and the 32-bit type identifier of its
// enumeration.
struct BindingEnumValue {
  std::int32_t value = 0;
  std::uint32_t typeId = 0;

  friend bool operator==(const BindingEnumValue&, const BindingEnumValue&) = default;
};

// Collections never hold more elements than this; growing past it throws std::length_error.
inline constexpr std::size_t kMaxCollectionSize = 0x0FFFFFFF;

class BindingMemberRange;
class BindingMutableMemberRange;

class BindingProperty {
 public:
  // An empty root without an arena.
  BindingProperty() noexcept = default;
  ~BindingProperty();

  // Deep copy into this value's arena (created if needed); a copy-constructed value is a root.
  // Strings are re-interned in the destination arena.
  BindingProperty(const BindingProperty& other);
  BindingProperty& operator=(const BindingProperty& other);

  // When both values own their arenas the two exchange contents wholesale; when both live in
  // the same arena the payload moves over. Otherwise this value receives a deep copy and
  // `other` is reset to empty. A value must not be moved into one of its own descendants.
  BindingProperty(BindingProperty&& other);
  BindingProperty& operator=(BindingProperty&& other);

  // Exchanges the two values. Cheap when both own their arenas or share one; otherwise done by
  // deep copies. Neither value may be a descendant of the other.
  void swap(BindingProperty& other);

  // Releases the payload and becomes empty. The arena stays with the root until it is destroyed.
  void reset();

  // Tells the tree that about `count` distinct texts may come (see
  // BindingArena::expectStrings), creating its arena if needed. Readers of large bodies call it
  // with an estimate from the body's size.
  void expectStrings(std::size_t count);

  BindingPropertyKind kind() const { return header_.kind(); }
  std::string_view kindName() const { return bindingPropertyKindName(kind()); }
  bool isEmpty() const { return kind() == BindingPropertyKind::kEmpty; }
  bool isBool() const { return kind() == BindingPropertyKind::kBool; }
  bool isSigned() const { return kind() == BindingPropertyKind::kSigned; }
  bool isUnsigned() const { return kind() == BindingPropertyKind::kUnsigned; }
  bool isFloat() const { return kind() == BindingPropertyKind::kFloat; }
  bool isString() const { return kind() == BindingPropertyKind::kString; }
  bool isBlob() const { return kind() == BindingPropertyKind::kBlob; }
  bool isEnum() const { return kind() == BindingPropertyKind::kEnum; }
  bool isCollection() const { return kind() == BindingPropertyKind::kCollection; }
  bool isStructure() const { return kind() == BindingPropertyKind::kStructure; }

  // The arena of this value's tree (null while none was needed) and whether this value is the
  // root that owns it.
  BindingArena* arena() const { return header_.arena(); }
  bool ownsArena() const { return header_.owns(); }

  // Setters; each releases the previous payload first.
  // The scalar setters are inline: readers call them for every number they read.
  void setBool(bool value) {
    releaseHeldPayload();
    payload_.boolean = value ? 1 : 0;
    setKind(BindingPropertyKind::kBool);
  }
  void setSigned(std::int64_t value) {
    releaseHeldPayload();
    payload_.signedValue = value;
    setKind(BindingPropertyKind::kSigned);
  }
  void setUnsigned(std::uint64_t value) {
    releaseHeldPayload();
    payload_.unsignedValue = value;
    setKind(BindingPropertyKind::kUnsigned);
  }
  void setFloat(double value) {
    releaseHeldPayload();
    payload_.floatValue = value;
    setKind(BindingPropertyKind::kFloat);
  }
  // Interns the text in the tree's arena (inline: readers set every string they read). Empty texts,
  // and a null `text`, share one process-wide entry that no arena stores.
  void setString(std::string_view text);
  void setString(const char* text);
  // Takes over `bytes`, or copies `count` bytes from `data` (null allowed when count is 0).
  void setBlob(Vector<std::uint8_t>&& bytes);
  void setBlob(const void* data, std::size_t count);
  void setEnum(std::int32_t value, std::uint32_t typeId);

  // Readers: the payload when the kind matches exactly, `fallback` otherwise. Views stay valid
  // until this value changes. The scalar and text readers are inline: conversions read every
  // field of every record through them.
  bool getBool(bool fallback = false) const {
    return kind() == BindingPropertyKind::kBool ? payload_.boolean != 0 : fallback;
  }
  std::int64_t getSigned(std::int64_t fallback = 0) const {
    return kind() == BindingPropertyKind::kSigned ? payload_.signedValue : fallback;
  }
  std::uint64_t getUnsigned(std::uint64_t fallback = 0) const {
    return kind() == BindingPropertyKind::kUnsigned ? payload_.unsignedValue : fallback;
  }
  double getFloat(double fallback = 0.0) const {
    return kind() == BindingPropertyKind::kFloat ? payload_.floatValue : fallback;
  }
  std::string_view getString(std::string_view fallback = {}) const;
  std::span<const std::uint8_t> getBlob(std::span<const std::uint8_t> fallback = {}) const;
  BindingEnumValue getEnum(BindingEnumValue fallback = {}) const;

  // Collections.
  // Becomes an empty collection unless this already is a collection (then nothing changes).
  void makeCollection();
  // The element at `index`, first making this a collection and appending empty elements until
  // the index exists. Throws std::length_error past kMaxCollectionSize elements.
  BindingProperty& element(std::size_t index);
  // A new empty element at the end. Inline: readers append every element of every array.
  BindingProperty& append();
  // Reserves room for `count` elements; does nothing unless this is a collection. Throws
  // std::length_error when count exceeds kMaxCollectionSize.
  void reserve(std::size_t count);
  // The element at `index`, or the shared empty value when this is not a collection or the
  // index is out of range. Never grows anything.
  const BindingProperty& getElement(std::size_t index) const;
  // The elements in order; empty unless this is a collection.
  std::span<BindingProperty> elements();
  std::span<const BindingProperty> elements() const;

  // Structures. Members are unique by key and kept ordered by key compared as unsigned bytes,
  // a shorter key first on a common prefix.
  // Becomes an empty structure unless this already is a structure.
  void makeStructure();
  // The member named `key`, first making this a structure and inserting an empty member when
  // the key is absent.
  BindingProperty& member(std::string_view key);
  // The member named `key`, or the shared empty value when absent or when this is not a
  // structure.
  const BindingProperty& getMember(std::string_view key) const;
  // The member named `key`, or null when absent or when this is not a structure.
  BindingProperty* findMember(std::string_view key);
  const BindingProperty* findMember(std::string_view key) const;
  bool hasMember(std::string_view key) const { return findMember(key) != nullptr; }
  // Removes the member named `key`; returns whether there was one.
  bool eraseMember(std::string_view key);
  // The members in key order; empty unless this is a structure.
  BindingMemberRange members() const;
  BindingMutableMemberRange members();

  // Empty 0; string its byte length; blob its byte count; collection its element count;
  // structure its member count; every other kind 1.
  std::size_t size() const;

  // Empty false; bool itself; numbers and enum values non-zero (NaN is true); string only
  // exactly "true" or "1"; blob, collection and structure non-empty.
  bool truthValue() const;

  // bool "true"/"false"; integers and enum values in decimal; float as printf "%f"; string
  // itself; blob as Base64; empty, collection and structure the empty text.
  String textForm() const;

  // Walks this value: visitNull for empty, the scalar call for scalars, and for containers the
  // begin call, each child between its begin and end calls, then the end call.
  void accept(BindingPropertyVisitor& visitor) const;

  // The shared constant empty value that readers return for anything missing.
  static const BindingProperty& emptyValue();

  // Internal: constructs a child that borrows `arena`. Used by the containers of a tree.
  struct ChildTag {};
  BindingProperty(ChildTag, BindingArena* arena) noexcept : header_(arena, false) {}

 private:
  friend class internal::TreeCopier;
  friend class internal::DeferredStrings;

  union Payload {
    std::uint8_t boolean;
    std::int64_t signedValue;
    std::uint64_t unsignedValue;
    double floatValue;
    const InternedString* string;
    internal::BlobStorage* blob;
    BindingEnumValue* enumValue;
    internal::PropertyVector* collection;
    internal::StructureTree* structure;
  };

  BindingArena& ensureArena() { return arena() != nullptr ? *arena() : createArena(); }
  BindingArena& createArena();
  // append() when this is not a collection yet or its storage is full.
  BindingProperty& appendGrowing();
  void releasePayload() noexcept;
  // releasePayload() for the kinds that hold something; empty and the scalars hold nothing.
  void releaseHeldPayload() noexcept {
    if (kind() > BindingPropertyKind::kFloat) releasePayload();
  }
  // Releases the keys, values and blocks of a structure's subtree.
  static void releaseNodes(BindingArena& arena, internal::StructureNode* node) noexcept;
  // Takes over `source`'s payload, which must belong to this value's arena; `source` becomes
  // empty. This value must be empty.
  void adoptFrom(BindingProperty& source) noexcept;
  void moveFrom(BindingProperty& other);

  void setKind(BindingPropertyKind kind) { header_.setKind(kind); }

  Payload payload_{};
  internal::ValueHeader<sizeof(void*)> header_;
};

static_assert(sizeof(BindingProperty) == 16, "a value is 16 bytes");

inline void swap(BindingProperty& a, BindingProperty& b) { a.swap(b); }

// One member of a structure as iteration yields it.
struct BindingMember {
  std::string_view key;
  const BindingProperty& value;
};
struct BindingMutableMember {
  std::string_view key;
  BindingProperty& value;
};

}  // namespace tev

#include "binding/internal/property_storage.h"

namespace tev {

namespace internal {

// Tree and Node are template parameters so that this header does not need the tree's
// definition before its own end.
template <typename Tree, typename Node, typename Member>
class MemberIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = Member;
  using difference_type = std::ptrdiff_t;
  using pointer = void;
  using reference = Member;

  MemberIterator() = default;
  explicit MemberIterator(Node* node) : node_(node) {}

  Member operator*() const { return Member{node_->key->view(), node_->value}; }
  MemberIterator& operator++() {
    node_ = Tree::next(node_);
    return *this;
  }
  MemberIterator operator++(int) {
    MemberIterator previous = *this;
    node_ = Tree::next(node_);
    return previous;
  }
  friend bool operator==(const MemberIterator& a, const MemberIterator& b) {
    return a.node_ == b.node_;
  }

 private:
  Node* node_ = nullptr;
};

}  // namespace internal

class BindingMemberRange {
 public:
  using iterator =
      internal::MemberIterator<internal::StructureTree, internal::StructureNode, BindingMember>;
  BindingMemberRange() = default;
  BindingMemberRange(iterator first, std::size_t count) : first_(first), count_(count) {}
  iterator begin() const { return first_; }
  iterator end() const { return iterator(); }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

 private:
  iterator first_{};
  std::size_t count_ = 0;
};

class BindingMutableMemberRange {
 public:
  using iterator = internal::MemberIterator<internal::StructureTree, internal::StructureNode,
                                            BindingMutableMember>;
  BindingMutableMemberRange() = default;
  BindingMutableMemberRange(iterator first, std::size_t count) : first_(first), count_(count) {}
  iterator begin() const { return first_; }
  iterator end() const { return iterator(); }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

 private:
  iterator first_{};
  std::size_t count_ = 0;
};

}  // namespace tev
