// The storage behind blob, collection and structure values: headers in arena blocks, byte and
// element storage from the allocation hooks, and the helpers that create them. Only
// BindingProperty and its copier build and destroy these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "binding/binding_arena.h"
#include "binding/internal/structure_tree.h"
#include "platform/allocator.h"

namespace tev::internal {

// begin, end and capacity, like a vector; elements are relocated bitwise when the storage
// grows, so children keep their arena and ownership flag. Storage for up to kArenaElements
// elements is a block of the tree's arena, like the header: most arrays that bodies carry are
// that short, and a heap allocation for each would cost more than the rest of building them.
// Longer storage comes from the allocation hooks, and only then is the vector linked into its
// arena's list of heap owners.
struct PropertyVector : BindingArena::HeapLink {
  static constexpr std::size_t kArenaElements =
      BindingArena::kMaxBlockSize / sizeof(BindingProperty);

  BindingProperty* begin = nullptr;
  BindingProperty* end = nullptr;
  BindingProperty* capacity = nullptr;

  std::size_t size() const { return static_cast<std::size_t>(end - begin); }
  std::size_t capacityCount() const { return static_cast<std::size_t>(capacity - begin); }
  bool storageOnHeap() const { return capacityCount() > kArenaElements; }
};

// A blob's bytes.
struct BlobStorage : BindingArena::HeapLink {
  template <typename... Args>
  explicit BlobStorage(Args&&... args) : bytes(std::forward<Args>(args)...) {}
  Vector<std::uint8_t> bytes;
};

inline bool isEmptyEntry(const InternedString* entry) { return entry == &emptyInternedString(); }

// Constructs a T in a block of `arena`; the block goes back if the constructor throws.
template <typename T, typename... Args>
T* newBlock(BindingArena& arena, Args&&... args) {
  void* block = arena.allocate(sizeof(T));
  try {
    // Braces for aggregates: clang 14 has no parenthesised aggregate initialisation.
    if constexpr (std::is_aggregate_v<T>) {
      return ::new (block) T{std::forward<Args>(args)...};
    } else {
      return ::new (block) T(std::forward<Args>(args)...);
    }
  } catch (...) {
    arena.release(block, sizeof(T));
    throw;
  }
}

template <typename T>
void deleteBlock(BindingArena& arena, T* object) noexcept {
  object->~T();
  arena.release(object, sizeof(T));
}

// A collection header without storage. Blob headers own heap memory from the start and are
// created already tracked by their arena.
PropertyVector* newVector(BindingArena& arena);

template <typename... Args>
BlobStorage* newBlob(BindingArena& arena, Args&&... args) {
  BlobStorage* blob = newBlock<BlobStorage>(arena, std::forward<Args>(args)...);
  arena.track(*blob, BindingArena::HeapList::kBlobs);
  return blob;
}

// Moves the elements to storage for exactly `capacity` elements, which must be at least the
// current capacity. Throws std::bad_alloc.
void resizeStorage(BindingArena& arena, PropertyVector& vector, std::size_t capacity);
// Grows the storage to hold at least `count` elements without constructing any. Throws
// std::length_error past kMaxCollectionSize, std::bad_alloc when memory runs out.
void growStorage(BindingArena& arena, PropertyVector& vector, std::size_t count);
// Returns the storage (not the elements' payloads) and unlinks a heap owner.
void freeStorage(BindingArena& arena, PropertyVector& vector) noexcept;

}  // namespace tev::internal

namespace tev {

// Here rather than beside their declarations: they need PropertyVector and BindingArena, and
// this header may be the one that includes binding_property.h.

// The entry is made before the old payload goes, since `text` may point into it.
inline void BindingProperty::setString(std::string_view text) {
  const InternedString* entry = text.empty() ? &emptyInternedString() : ensureArena().intern(text);
  releaseHeldPayload();
  payload_.string = entry;
  setKind(BindingPropertyKind::kString);
}

inline std::string_view BindingProperty::getString(std::string_view fallback) const {
  return kind() == BindingPropertyKind::kString ? payload_.string->view() : fallback;
}

inline BindingProperty& BindingProperty::append() {
  if (kind() == BindingPropertyKind::kCollection) {
    internal::PropertyVector& vector = *payload_.collection;
    if (vector.end != vector.capacity)
      return *::new (vector.end++) BindingProperty(ChildTag{}, arena());
  }
  return appendGrowing();
}

}  // namespace tev
