// Compile-time texts for the names of native types: built by concatenation in constant
// expressions and stored with static duration, so a name's characters live for the process.
// Only the static type information uses these; runtime texts are tev::String.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tev::binding_internal {

template <std::size_t N>
struct FixedText {
  char chars[N + 1] = {};

  constexpr FixedText() = default;
  constexpr FixedText(const char (&text)[N + 1]) {  // NOLINT(google-explicit-constructor)
    for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
  }
  constexpr std::string_view view() const { return std::string_view(chars, N); }
};

template <std::size_t N>
FixedText(const char (&)[N]) -> FixedText<N - 1>;

template <std::size_t A, std::size_t B>
constexpr FixedText<A + B> operator+(const FixedText<A>& left, const FixedText<B>& right) {
  FixedText<A + B> joined;
  for (std::size_t i = 0; i < A; ++i) joined.chars[i] = left.chars[i];
  for (std::size_t i = 0; i < B; ++i) joined.chars[A + i] = right.chars[i];
  return joined;
}

// 32-bit FNV-1a (offset basis 0x811C9DC5, prime 16777619) over the bytes of `text`.
constexpr std::uint32_t fnv1a32(std::string_view text) {
  std::uint32_t hash = 0x811C9DC5u;
  for (const char c : text) {
    hash ^= static_cast<std::uint8_t>(c);
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace tev::binding_internal
