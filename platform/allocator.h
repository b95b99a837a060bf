// Standard-library plumbing over the allocation hooks: an allocator for containers and strings,
// and helpers that create and destroy objects through the hooks. Use these for every heap object
// of the plugin so that the host's memory statistics see it; never replace the global operator
// new, which in a shared library would capture the host's allocations too.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/allocator_hooks.h"

namespace tev {

template <typename T>
class Allocator {
 public:
  using value_type = T;

  Allocator() noexcept = default;
  template <typename U>
  Allocator(const Allocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

  // Throws std::bad_alloc when the hooks report failure, as containers expect.
  [[nodiscard]] T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    void* block = hookedAllocate(count * sizeof(T));
    if (block == nullptr) throw std::bad_alloc();
    return static_cast<T*>(block);
  }
  void deallocate(T* block, std::size_t) noexcept { hookedFree(block); }

  template <typename U>
  bool operator==(const Allocator<U>&) const noexcept {
    return true;
  }
};

using String = std::basic_string<char, std::char_traits<char>, Allocator<char>>;

template <typename T>
using Vector = std::vector<T, Allocator<T>>;

template <typename K, typename V, typename Hash = std::hash<K>, typename Eq = std::equal_to<K>>
using HashMap = std::unordered_map<K, V, Hash, Eq, Allocator<std::pair<const K, V>>>;

template <typename K, typename V, typename Less = std::less<K>>
using OrderedMap = std::map<K, V, Less, Allocator<std::pair<const K, V>>>;

// Hash and equality for String keys that also accept string views without a copy.
struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept {
    return std::hash<std::string_view>{}(text);
  }
};
struct StringEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

template <typename V>
using StringMap = HashMap<String, V, StringHash, StringEqual>;

inline String toString(std::string_view text) { return String(text.data(), text.size()); }

// Creates a T through the hooks; returns null when the allocation fails (nothing is thrown).
template <typename T, typename... Args>
[[nodiscard]] T* createObject(Args&&... args) {
  void* block = hookedAllocate(sizeof(T));
  if (block == nullptr) return nullptr;
  try {
    return ::new (block) T(std::forward<Args>(args)...);
  } catch (...) {
    hookedFree(block);  // a throwing constructor must not leak its block
    throw;
  }
}

// Destroys an object made by createObject; null is allowed.
template <typename T>
void destroyObject(T* object) noexcept {
  if (object == nullptr) return;
  object->~T();
  hookedFree(const_cast<void*>(static_cast<const void*>(object)));
}

struct ObjectDeleter {
  template <typename T>
  void operator()(T* object) const noexcept {
    destroyObject(object);
  }
};

template <typename T>
using UniquePtr = std::unique_ptr<T, ObjectDeleter>;

template <typename T, typename... Args>
[[nodiscard]] UniquePtr<T> makeUnique(Args&&... args) {
  return UniquePtr<T>(createObject<T>(std::forward<Args>(args)...));
}

template <typename T, typename... Args>
[[nodiscard]] std::shared_ptr<T> makeShared(Args&&... args) {
  return std::allocate_shared<T>(Allocator<T>(), std::forward<Args>(args)...);
}

}  // namespace tev
