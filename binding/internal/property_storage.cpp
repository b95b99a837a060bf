#include "binding/internal/property_storage.h"

#include <cassert>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tev::internal {

PropertyVector* newVector(BindingArena& arena) { return newBlock<PropertyVector>(arena); }

void resizeStorage(BindingArena& arena, PropertyVector& vector, std::size_t capacity) {
  assert(capacity >= vector.capacityCount());
  const std::size_t size = vector.size();
  const std::size_t bytes = capacity * sizeof(BindingProperty);
  // Children hold no pointers into themselves, so they relocate bitwise; their move
  // constructor would deep-copy children out of the tree instead.
  void* storage;
  if (vector.storageOnHeap()) {
    storage = hookedReallocate(vector.begin, bytes);
    if (storage == nullptr) throw std::bad_alloc();
  } else {
    // From an arena block (or none) to a larger block, or off the arena onto the heap; from
    // then on the arena's list of heap owners holds the vector.
    const bool toHeap = capacity > PropertyVector::kArenaElements;
    storage = toHeap ? hookedAllocate(bytes) : arena.allocate(bytes);
    if (storage == nullptr) throw std::bad_alloc();
    if (vector.begin != nullptr) {
      std::memcpy(storage, static_cast<void*>(vector.begin), size * sizeof(BindingProperty));
      arena.release(vector.begin, vector.capacityCount() * sizeof(BindingProperty));
    }
    if (toHeap) arena.track(vector, BindingArena::HeapList::kCollections);
  }
  vector.begin = static_cast<BindingProperty*>(storage);
  vector.end = vector.begin + size;
  vector.capacity = vector.begin + capacity;
}

void growStorage(BindingArena& arena, PropertyVector& vector, std::size_t count) {
  if (count <= vector.capacityCount()) return;
  if (count > kMaxCollectionSize) throw std::length_error("collection too long");
  std::size_t capacity = vector.capacityCount() * 2;
  if (capacity < PropertyVector::kArenaElements) capacity = PropertyVector::kArenaElements;
  if (capacity < count) capacity = count;
  if (capacity > kMaxCollectionSize) capacity = kMaxCollectionSize;
  resizeStorage(arena, vector, capacity);
}

void freeStorage(BindingArena& arena, PropertyVector& vector) noexcept {
  if (vector.storageOnHeap()) {
    arena.untrack(vector, BindingArena::HeapList::kCollections);
    hookedFree(vector.begin);
  } else if (vector.begin != nullptr) {
    arena.release(vector.begin, vector.capacityCount() * sizeof(BindingProperty));
  }
  vector.begin = vector.end = vector.capacity = nullptr;
}

}  // namespace tev::internal
