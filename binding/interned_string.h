// InternedString: one entry of an arena's string table. Values of a tree refer to entries by
// pointer and the table counts the references; the entry goes away with its last reference.
// Never create or free entries yourself: BindingArena::intern and releaseString do that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/allocator.h"

namespace tev {

struct InternedString {
  String text;
  std::uint32_t hash = 0;
  std::uint32_t references = 0;
  InternedString* next = nullptr;  // the next entry of the same bucket

  std::string_view view() const { return {text.data(), text.size()}; }
};

// 32-bit FNV-1a over the bytes of `text`.
constexpr std::uint32_t fnv1aHash(std::string_view text) {
  std::uint32_t hash = 0x811C9DC5u;
  for (char c : text) {
    hash ^= static_cast<std::uint8_t>(c);
    hash *= 16777619u;
  }
  return hash;
}

// The process-wide entry every empty string refers to. It belongs to no arena and is never
// counted or released.
const InternedString& emptyInternedString();

}  // namespace tev
