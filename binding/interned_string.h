// InternedString: one entry of an arena's string table. Values of a tree refer to entries by
// pointer and the table counts the references; the entry goes away with its last reference.
// Never create or free entries yourself: BindingArena::intern and releaseString do that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tev {

namespace internal {
// Whether the first and the last `Word`-sized stretches of the two texts are equal; for sizes
// from sizeof(Word) to twice that, those two cover every byte.
template <typename Word>
bool sameEnds(const char* a, const char* b, std::size_t size) {
  Word a0, a1, b0, b1;
  std::memcpy(&a0, a, sizeof(Word));
  std::memcpy(&b0, b, sizeof(Word));
  std::memcpy(&a1, a + size - sizeof(Word), sizeof(Word));
  std::memcpy(&b1, b + size - sizeof(Word), sizeof(Word));
  return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}
}  // namespace internal

// Whether two texts of `size` bytes are equal. Short texts, the usual keys, are compared as
// two overlapping words rather than through a library call.
inline bool sameBytes(const char* a, const char* b, std::size_t size) {
  if (size > 16) return std::memcmp(a, b, size) == 0;
  if (size >= 8) return internal::sameEnds<std::uint64_t>(a, b, size);
  if (size >= 4) return internal::sameEnds<std::uint32_t>(a, b, size);
  for (std::size_t index = 0; index < size; ++index) {
    if (a[index] != b[index]) return false;
  }
  return true;
}

// The entry's bytes follow it in the same block, NUL-terminated. Entries of short texts (the
// keys and names of records) are blocks of the arena's pages, so interning one costs neither a
// heap allocation nor, when the tree goes, a walk over its entries; longer ones come from the
// heap and are listed for the arena's destructor.
struct InternedString {
  InternedString* next = nullptr;  // the next entry of the same bucket
  std::uint32_t hash = 0;
  std::uint32_t references = 0;
  std::uint32_t length = 0;

  const char* data() const { return reinterpret_cast<const char*>(this + 1); }
  std::size_t size() const { return length; }
  std::string_view view() const { return {data(), length}; }
  bool equals(std::string_view other) const {
    return length == other.size() && sameBytes(data(), other.data(), other.size());
  }
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

namespace internal {
// The empty entry with the terminator its text view points at.
struct EmptyInternedEntry {
  InternedString entry;
  char terminator = '\0';
};
extern const EmptyInternedEntry emptyInternedEntry;
}  // namespace internal

// The process-wide entry every empty string refers to. It belongs to no arena and is never
// counted or released.
inline const InternedString& emptyInternedString() { return internal::emptyInternedEntry.entry; }

// Orders texts by their bytes taken unsigned, a shorter text first on a common prefix. Keys of
// one structure mostly differ within their first few bytes, which are compared here before
// handing a long common prefix to memcmp.
inline bool bytesLess(std::string_view a, std::string_view b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  const std::size_t head = common < 8 ? common : 8;
  for (std::size_t index = 0; index < head; ++index) {
    if (a[index] != b[index]) {
      return static_cast<unsigned char>(a[index]) < static_cast<unsigned char>(b[index]);
    }
  }
  if (head == common) return a.size() < b.size();
  return a < b;  // char_traits<char> compares as unsigned char
}

}  // namespace tev
