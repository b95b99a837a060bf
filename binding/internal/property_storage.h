// The storage behind collection and structure values: a vector of children whose element
// storage comes from the allocation hooks, and the structure tree. Only BindingProperty builds
// and destroys these.
#pragma once

#include <cstddef>
#include <cstdint>
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

}  // namespace tev::internal
