#include "binding/binding_property.h"

#include <cassert>
#include <charconv>
#include <cstdarg>
#include <new>
#include <stdexcept>
#include <utility>

#include "binding/binding_arena.h"
#include "binding/internal/tree_copier.h"
#include "logging/base64.h"
#include "platform/bounded_format.h"

namespace tev {
namespace {

using internal::BlobStorage;
using internal::deleteBlock;
using internal::freeStorage;
using internal::growStorage;
using internal::isEmptyEntry;
using internal::newBlob;
using internal::newBlock;
using internal::newVector;
using internal::PropertyVector;
using internal::resizeStorage;
using internal::StructureNode;
using internal::StructureTree;
using HeapList = BindingArena::HeapList;

// Whether copying `source` needs an arena on the receiving side.
bool needsArena(const BindingProperty& source) {
  switch (source.kind()) {
    case BindingPropertyKind::kString:
      return !source.getString().empty();
    case BindingPropertyKind::kBlob:
    case BindingPropertyKind::kEnum:
    case BindingPropertyKind::kCollection:
    case BindingPropertyKind::kStructure:
      return true;
    default:
      return false;
  }
}

String formatFloat(const char* format, ...) {
  char buffer[512];
  std::va_list args;
  va_start(args, format);
  const int length = platform::boundedFormat(buffer, sizeof(buffer), format, args);
  va_end(args);
  return String(buffer, length < 0 ? std::char_traits<char>::length(buffer)
                                   : static_cast<std::size_t>(length));
}

template <typename Integer>
String decimal(Integer value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  return String(buffer, result.ptr);
}

}  // namespace

std::string_view bindingPropertyKindName(BindingPropertyKind kind) {
  switch (kind) {
    case BindingPropertyKind::kEmpty:
      return "empty";
    case BindingPropertyKind::kBool:
      return "bool";
    case BindingPropertyKind::kSigned:
      return "signed";
    case BindingPropertyKind::kUnsigned:
      return "unsigned";
    case BindingPropertyKind::kFloat:
      return "float";
    case BindingPropertyKind::kString:
      return "string";
    case BindingPropertyKind::kBlob:
      return "blob";
    case BindingPropertyKind::kEnum:
      return "enum";
    case BindingPropertyKind::kCollection:
      return "collection";
    case BindingPropertyKind::kStructure:
      return "structure";
  }
  return {};
}

const BindingProperty& BindingProperty::emptyValue() {
  static const BindingProperty value;
  return value;
}

BindingProperty::~BindingProperty() {
  if (ownsArena() && arena() != nullptr) {
    // Blocks and strings die with the arena's pages; returning them one by one first would
    // only cost time. Only heap memory needs freeing, and the arena lists its owners.
    for (BindingArena::HeapLink* link = arena()->tracked(HeapList::kCollections); link != nullptr;
         link = link->next) {
      hookedFree(static_cast<PropertyVector*>(link)->begin);
    }
    for (BindingArena::HeapLink* link = arena()->tracked(HeapList::kBlobs); link != nullptr;) {
      BindingArena::HeapLink* next = link->next;
      static_cast<BlobStorage*>(link)->~BlobStorage();
      link = next;
    }
    destroyObject(arena());
  } else {
    releasePayload();
  }
}

// Delegating to the default constructor makes the object complete before the copy starts, so a
// copy that throws halfway is cleaned up by the destructor.
BindingProperty::BindingProperty(const BindingProperty& other) : BindingProperty() {
  *this = other;
}

BindingProperty::BindingProperty(BindingProperty&& other) : BindingProperty() { moveFrom(other); }

BindingProperty& BindingProperty::operator=(const BindingProperty& other) {
  if (this == &other) return *this;
  if (!needsArena(other)) {
    const Payload payload = other.payload_;
    const BindingPropertyKind kind = other.kind();
    releasePayload();
    payload_ = payload;
    setKind(kind);
    return *this;
  }
  // Build the copy before releasing anything: `other` may live inside this value, or this
  // value inside `other`.
  BindingArena& arena = ensureArena();
  // A whole tree copied into a tree without strings brings all of its strings: size the table
  // for them once rather than rehashing it all the way up.
  if (other.ownsArena() && other.arena() != &arena && arena.internedStringCount() == 0) {
    arena.reserveStrings(other.arena()->internedStringCount());
  }
  BindingProperty copy(ChildTag{}, &arena);
  internal::TreeCopier(arena, other.arena()).copy(copy, other);
  releasePayload();
  adoptFrom(copy);
  return *this;
}

BindingProperty& BindingProperty::operator=(BindingProperty&& other) {
  moveFrom(other);
  return *this;
}

void BindingProperty::moveFrom(BindingProperty& other) {
  if (this == &other) return;
  if (ownsArena() && other.ownsArena()) {
    std::swap(payload_, other.payload_);
    std::swap(header_, other.header_);
    return;
  }
  if (arena() != nullptr && arena() == other.arena()) {
    // Same tree: the payload's blocks and strings are valid here as they are. Detach it from
    // `other` first so that releasing this value cannot reach it.
    BindingProperty detached(ChildTag{}, arena());
    detached.adoptFrom(other);
    releasePayload();
    adoptFrom(detached);
    return;
  }
  *this = static_cast<const BindingProperty&>(other);
  other.reset();
}

void BindingProperty::swap(BindingProperty& other) {
  if (this == &other) return;
  if (ownsArena() && other.ownsArena()) {
    std::swap(payload_, other.payload_);
    std::swap(header_, other.header_);
    return;
  }
  if (arena() == other.arena()) {
    std::swap(payload_, other.payload_);
    const BindingPropertyKind kind = this->kind();
    setKind(other.kind());
    other.setKind(kind);
    return;
  }
  // Different trees and at least one child: both sides need copies in the other's arena.
  BindingProperty saved(*this);
  *this = static_cast<const BindingProperty&>(other);
  other = static_cast<const BindingProperty&>(saved);
}

void BindingProperty::reset() { releasePayload(); }

void BindingProperty::expectStrings(std::size_t count) { ensureArena().expectStrings(count); }

BindingArena& BindingProperty::createArena() {
  // Only a root can lack an arena: children always borrow their parent's.
  assert(ownsArena() && arena() == nullptr);
  BindingArena* arena = createObject<BindingArena>();
  if (arena == nullptr) throw std::bad_alloc();
  if (!decltype(header_)::fits(arena)) {
    // An address beyond what the value can hold: only a system that hands out addresses above
    // 48 bits without being asked would do that. Refuse it as memory the value cannot use.
    destroyObject(arena);
    throw std::bad_alloc();
  }
  header_.setArena(arena);
  return *arena;
}

void BindingProperty::adoptFrom(BindingProperty& source) noexcept {
  payload_ = source.payload_;
  setKind(source.kind());
  source.payload_ = Payload{};
  source.setKind(BindingPropertyKind::kEmpty);
}

// Subtrees of a structure are at most twice the logarithm of its size deep, so recursing over
// them is safe.
void BindingProperty::releaseNodes(BindingArena& arena, StructureNode* node) noexcept {
  while (node != nullptr) {
    releaseNodes(arena, node->left);
    StructureNode* right = node->right;
    arena.releaseString(node->key);
    deleteBlock(arena, node);  // the member's value releases its own payload
    node = right;
  }
}

void BindingProperty::releasePayload() noexcept {
  switch (kind()) {
    case BindingPropertyKind::kString:
      if (!isEmptyEntry(payload_.string)) arena()->releaseString(payload_.string);
      break;
    case BindingPropertyKind::kBlob:
      arena()->untrack(*payload_.blob, HeapList::kBlobs);
      deleteBlock(*arena(), payload_.blob);
      break;
    case BindingPropertyKind::kEnum:
      deleteBlock(*arena(), payload_.enumValue);
      break;
    case BindingPropertyKind::kCollection: {
      PropertyVector* vector = payload_.collection;
      for (BindingProperty* child = vector->begin; child != vector->end; ++child) {
        child->~BindingProperty();
      }
      freeStorage(*arena(), *vector);
      deleteBlock(*arena(), vector);
      break;
    }
    case BindingPropertyKind::kStructure: {
      releaseNodes(*arena(), payload_.structure->root());
      deleteBlock(*arena(), payload_.structure);
      break;
    }
    default:
      break;
  }
  setKind(BindingPropertyKind::kEmpty);
  payload_ = Payload{};
}

// Setters build the new payload before releasing the old one, since their argument may point
// into the old payload.

void BindingProperty::setString(const char* text) {
  setString(text != nullptr ? std::string_view(text) : std::string_view());
}

void BindingProperty::setBlob(Vector<std::uint8_t>&& bytes) {
  BlobStorage* blob = newBlob(ensureArena(), std::move(bytes));
  releasePayload();
  payload_.blob = blob;
  setKind(BindingPropertyKind::kBlob);
}

void BindingProperty::setBlob(const void* data, std::size_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  BlobStorage* blob =
      count == 0 ? newBlob(ensureArena()) : newBlob(ensureArena(), bytes, bytes + count);
  releasePayload();
  payload_.blob = blob;
  setKind(BindingPropertyKind::kBlob);
}

void BindingProperty::setEnum(std::int32_t value, std::uint32_t typeId) {
  BindingEnumValue* payload = newBlock<BindingEnumValue>(ensureArena(), value, typeId);
  releasePayload();
  payload_.enumValue = payload;
  setKind(BindingPropertyKind::kEnum);
}

// Readers

std::span<const std::uint8_t> BindingProperty::getBlob(
    std::span<const std::uint8_t> fallback) const {
  if (kind() != BindingPropertyKind::kBlob) return fallback;
  return {payload_.blob->bytes.data(), payload_.blob->bytes.size()};
}

BindingEnumValue BindingProperty::getEnum(BindingEnumValue fallback) const {
  return kind() == BindingPropertyKind::kEnum ? *payload_.enumValue : fallback;
}

// Collections

void BindingProperty::makeCollection() {
  if (kind() == BindingPropertyKind::kCollection) return;
  PropertyVector* vector = newVector(ensureArena());
  releaseHeldPayload();
  payload_.collection = vector;
  setKind(BindingPropertyKind::kCollection);
}

BindingProperty& BindingProperty::element(std::size_t index) {
  makeCollection();
  PropertyVector& vector = *payload_.collection;
  if (index < vector.size()) return vector.begin[index];
  if (index >= kMaxCollectionSize) throw std::length_error("collection too long");
  growStorage(*arena(), vector, index + 1);
  while (vector.size() <= index) {
    ::new (vector.end) BindingProperty(ChildTag{}, arena());
    ++vector.end;
  }
  return vector.begin[index];
}

BindingProperty& BindingProperty::appendGrowing() {
  makeCollection();
  PropertyVector& vector = *payload_.collection;
  growStorage(*arena(), vector, vector.size() + 1);
  return *::new (vector.end++) BindingProperty(ChildTag{}, arena());
}

void BindingProperty::reserve(std::size_t count) {
  if (kind() != BindingPropertyKind::kCollection) return;
  if (count > kMaxCollectionSize) throw std::length_error("collection too long");
  PropertyVector& vector = *payload_.collection;
  if (count > vector.capacityCount()) resizeStorage(*arena(), vector, count);
}

const BindingProperty& BindingProperty::getElement(std::size_t index) const {
  if (kind() != BindingPropertyKind::kCollection) return emptyValue();
  const PropertyVector& vector = *payload_.collection;
  return index < vector.size() ? vector.begin[index] : emptyValue();
}

std::span<BindingProperty> BindingProperty::elements() {
  if (kind() != BindingPropertyKind::kCollection) return {};
  return {payload_.collection->begin, payload_.collection->size()};
}

std::span<const BindingProperty> BindingProperty::elements() const {
  if (kind() != BindingPropertyKind::kCollection) return {};
  return {payload_.collection->begin, payload_.collection->size()};
}

// Structures

void BindingProperty::makeStructure() {
  if (kind() == BindingPropertyKind::kStructure) return;
  StructureTree* tree = newBlock<StructureTree>(ensureArena());
  releaseHeldPayload();
  payload_.structure = tree;
  setKind(BindingPropertyKind::kStructure);
}

BindingProperty& BindingProperty::member(std::string_view key) {
  StructureNode* parent = nullptr;
  bool asLeft = true;
  const InternedString* ownKey;
  if (kind() == BindingPropertyKind::kStructure) {
    StructureTree& tree = *payload_.structure;
    StructureNode* last = tree.last();
    if (last == nullptr) {
      // The first member becomes the root.
    } else if (bytesLess(last->key->view(), key)) {
      parent = last;
      asLeft = false;
    } else if (StructureNode* found = tree.findSlot(key, parent, asLeft)) {
      return found->value;
    }
    ownKey = arena()->intern(key);
  } else {
    // Intern first: the key may be this value's own string, which makeStructure releases.
    ownKey = ensureArena().intern(key);
    try {
      makeStructure();
    } catch (...) {
      arena()->releaseString(ownKey);
      throw;
    }
  }
  StructureNode* node;
  try {
    node = newBlock<StructureNode>(*arena(), ownKey, arena());
  } catch (...) {
    arena()->releaseString(ownKey);
    throw;
  }
  payload_.structure->insert(node, parent, asLeft);
  return node->value;
}

const BindingProperty& BindingProperty::getMember(std::string_view key) const {
  const BindingProperty* found = findMember(key);
  return found != nullptr ? *found : emptyValue();
}

BindingProperty* BindingProperty::findMember(std::string_view key) {
  if (kind() != BindingPropertyKind::kStructure) return nullptr;
  StructureNode* node = payload_.structure->find(key);
  return node != nullptr ? &node->value : nullptr;
}

const BindingProperty* BindingProperty::findMember(std::string_view key) const {
  return const_cast<BindingProperty*>(this)->findMember(key);
}

bool BindingProperty::eraseMember(std::string_view key) {
  if (kind() != BindingPropertyKind::kStructure) return false;
  StructureNode* node = payload_.structure->find(key);
  if (node == nullptr) return false;
  payload_.structure->erase(node);
  node->left = nullptr;
  node->right = nullptr;
  releaseNodes(*arena(), node);
  return true;
}

BindingMemberRange BindingProperty::members() const {
  if (kind() != BindingPropertyKind::kStructure) return {};
  return {BindingMemberRange::iterator(payload_.structure->first()), payload_.structure->size()};
}

BindingMutableMemberRange BindingProperty::members() {
  if (kind() != BindingPropertyKind::kStructure) return {};
  return {BindingMutableMemberRange::iterator(payload_.structure->first()),
          payload_.structure->size()};
}

// Whole-value queries

std::size_t BindingProperty::size() const {
  switch (kind()) {
    case BindingPropertyKind::kEmpty:
      return 0;
    case BindingPropertyKind::kString:
      return payload_.string->size();
    case BindingPropertyKind::kBlob:
      return payload_.blob->bytes.size();
    case BindingPropertyKind::kCollection:
      return payload_.collection->size();
    case BindingPropertyKind::kStructure:
      return payload_.structure->size();
    default:
      return 1;
  }
}

bool BindingProperty::truthValue() const {
  switch (kind()) {
    case BindingPropertyKind::kBool:
      return payload_.boolean != 0;
    case BindingPropertyKind::kSigned:
      return payload_.signedValue != 0;
    case BindingPropertyKind::kUnsigned:
      return payload_.unsignedValue != 0;
    case BindingPropertyKind::kFloat:
      // NaN compares unequal to everything, so it is true.
      return payload_.floatValue != 0.0;
    case BindingPropertyKind::kString: {
      const std::string_view text = payload_.string->view();
      return text == "true" || text == "1";
    }
    case BindingPropertyKind::kEnum:
      return payload_.enumValue->value != 0;
    case BindingPropertyKind::kBlob:
    case BindingPropertyKind::kCollection:
    case BindingPropertyKind::kStructure:
      return size() != 0;
    default:
      return false;
  }
}

String BindingProperty::textForm() const {
  switch (kind()) {
    case BindingPropertyKind::kBool:
      return toString(payload_.boolean != 0 ? "true" : "false");
    case BindingPropertyKind::kSigned:
      return decimal(payload_.signedValue);
    case BindingPropertyKind::kUnsigned:
      return decimal(payload_.unsignedValue);
    case BindingPropertyKind::kFloat:
      return formatFloat("%f", payload_.floatValue);
    case BindingPropertyKind::kString:
      return toString(payload_.string->view());
    case BindingPropertyKind::kBlob:
      return base64Encode(payload_.blob->bytes.data(), payload_.blob->bytes.size());
    case BindingPropertyKind::kEnum:
      return decimal(payload_.enumValue->value);
    default:
      return String();
  }
}

void BindingProperty::accept(BindingPropertyVisitor& visitor) const {
  switch (kind()) {
    case BindingPropertyKind::kBool:
      visitor.visitBool(payload_.boolean != 0);
      return;
    case BindingPropertyKind::kSigned:
      visitor.visitSigned(payload_.signedValue);
      return;
    case BindingPropertyKind::kUnsigned:
      visitor.visitUnsigned(payload_.unsignedValue);
      return;
    case BindingPropertyKind::kFloat:
      visitor.visitFloat(payload_.floatValue);
      return;
    case BindingPropertyKind::kString:
      visitor.visitString(payload_.string->view());
      return;
    case BindingPropertyKind::kBlob:
      visitor.visitBlob(getBlob());
      return;
    case BindingPropertyKind::kEnum:
      visitor.visitEnum(payload_.enumValue->value, payload_.enumValue->typeId);
      return;
    case BindingPropertyKind::kCollection: {
      const std::span<const BindingProperty> children = elements();
      visitor.beginCollection(children.size());
      for (std::size_t index = 0; index < children.size(); ++index) {
        visitor.beginElement(index);
        children[index].accept(visitor);
        visitor.endElement(index);
      }
      visitor.endCollection();
      return;
    }
    case BindingPropertyKind::kStructure:
      visitor.beginStructure(payload_.structure->size());
      for (const StructureNode* node = payload_.structure->first(); node != nullptr;
           node = StructureTree::next(node)) {
        const std::string_view text = node->key->view();
        visitor.beginMember(text);
        node->value.accept(visitor);
        visitor.endMember(text);
      }
      visitor.endStructure();
      return;
    default:
      visitor.visitNull();
      return;
  }
}

}  // namespace tev
