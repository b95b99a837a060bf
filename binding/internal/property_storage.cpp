#include "binding/internal/property_storage.h"

#include <stdexcept>

namespace tev::internal {

PropertyVector* newVector(BindingArena& arena) {
  PropertyVector* vector = newBlock<PropertyVector>(arena);
  arena.track(*vector, BindingArena::HeapList::kCollections);
  return vector;
}

void resizeStorage(PropertyVector& vector, std::size_t capacity) {
  const std::size_t size = vector.size();
  // Children hold no pointers into themselves, so they relocate bitwise; their move
  // constructor would deep-copy children out of the tree instead. A first allocation is not a
  // reallocation of nothing, which the counters would book as a free.
  const std::size_t bytes = capacity * sizeof(BindingProperty);
  void* storage =
      vector.begin == nullptr ? hookedAllocate(bytes) : hookedReallocate(vector.begin, bytes);
  if (storage == nullptr) throw std::bad_alloc();
  vector.begin = static_cast<BindingProperty*>(storage);
  vector.end = vector.begin + size;
  vector.capacity = vector.begin + capacity;
}

void growStorage(PropertyVector& vector, std::size_t count) {
  if (count <= vector.capacityCount()) return;
  if (count > kMaxCollectionSize) throw std::length_error("collection too long");
  std::size_t capacity = vector.capacityCount() * 2;
  if (capacity < 4) capacity = 4;
  if (capacity < count) capacity = count;
  if (capacity > kMaxCollectionSize) capacity = kMaxCollectionSize;
  resizeStorage(vector, capacity);
}

}  // namespace tev::internal
