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
// grows, so children keep their arena and ownership flag.
struct PropertyVector : BindingArena::HeapLink {
  BindingProperty* begin = nullptr;
  BindingProperty* end = nullptr;
  BindingProperty* capacity = nullptr;

  std::size_t size() const { return static_cast<std::size_t>(end - begin); }
  std::size_t capacityCount() const { return static_cast<std::size_t>(capacity - begin); }
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

// Payload headers that own heap memory, created already tracked by their arena.
PropertyVector* newVector(BindingArena& arena);

template <typename... Args>
BlobStorage* newBlob(BindingArena& arena, Args&&... args) {
  BlobStorage* blob = newBlock<BlobStorage>(arena, std::forward<Args>(args)...);
  arena.track(*blob, BindingArena::HeapList::kBlobs);
  return blob;
}

// Moves the elements to storage for exactly `capacity` elements. Throws std::bad_alloc.
void resizeStorage(PropertyVector& vector, std::size_t capacity);
// Grows the storage to hold at least `count` elements without constructing any. Throws
// std::length_error past kMaxCollectionSize, std::bad_alloc when memory runs out.
void growStorage(PropertyVector& vector, std::size_t count);

}  // namespace tev::internal
