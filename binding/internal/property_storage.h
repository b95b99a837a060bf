// The storage behind structure and collection values: an ordered map whose header and nodes
// are arena blocks, and a vector of children whose element storage comes from the allocation
// hooks. Only BindingProperty builds and destroys these.
#pragma once

#include <cstddef>
#include <map>
#include <string_view>

#include "binding/binding_arena.h"
#include "binding/interned_string.h"

namespace tev::internal {

inline std::string_view keyText(const InternedString* key) { return key->view(); }

// Orders interned keys by their bytes, compared unsigned (char_traits<char> compares as
// unsigned char), a shorter key first on a common prefix; also compares against plain texts.
struct KeyLess {
  using is_transparent = void;
  bool operator()(const InternedString* a, const InternedString* b) const {
    return a != b && a->view() < b->view();
  }
  bool operator()(const InternedString* a, std::string_view b) const { return a->view() < b; }
  bool operator()(std::string_view a, const InternedString* b) const { return a < b->view(); }
};

// Allocates map nodes as blocks of one arena.
template <typename T>
class ArenaAllocator {
 public:
  using value_type = T;

  explicit ArenaAllocator(BindingArena* arena) noexcept : arena_(arena) {}
  template <typename U>
  ArenaAllocator(const ArenaAllocator<U>& other) noexcept  // NOLINT(google-explicit-constructor)
      : arena_(other.arena()) {}

  T* allocate(std::size_t count) { return static_cast<T*>(arena_->allocate(count * sizeof(T))); }
  void deallocate(T* block, std::size_t count) noexcept {
    arena_->release(block, count * sizeof(T));
  }
  BindingArena* arena() const noexcept { return arena_; }

  template <typename U>
  bool operator==(const ArenaAllocator<U>& other) const noexcept {
    return arena_ == other.arena();
  }

 private:
  BindingArena* arena_;
};

using StructureMapBase =
    std::map<const InternedString*, BindingProperty, KeyLess,
             ArenaAllocator<std::pair<const InternedString* const, BindingProperty>>>;

// The keys are counted references into the arena's string table; whoever erases a node
// releases its key (BindingProperty does).
class StructureMap : public StructureMapBase {
 public:
  explicit StructureMap(BindingArena* arena) : StructureMapBase(allocator_type(arena)) {}
};

// begin, end and capacity, like a vector; elements are relocated bitwise when the storage
// grows, so children keep their arena and ownership flag.
struct PropertyVector {
  BindingProperty* begin = nullptr;
  BindingProperty* end = nullptr;
  BindingProperty* capacity = nullptr;

  std::size_t size() const { return static_cast<std::size_t>(end - begin); }
  std::size_t capacityCount() const { return static_cast<std::size_t>(capacity - begin); }
};

}  // namespace tev::internal
