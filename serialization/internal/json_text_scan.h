// Finding the end of a plain run in a JSON text a block of bytes at a time, for the JSON reader's
// two ways of reading. A plain byte stands in a text as it is: not a quote, a backslash or a
// control character (up to 0x1F), which the reader's own loop handles one byte at a time. Bytes
// of 0x80 and up are plain: UTF-8 texts are made of them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tev::json_internal {

#if defined(__SSE2__)
inline constexpr std::size_t kScanBlock = 16;

// The index of the first byte of the block at `p` that is not plain; kScanBlock when all are.
inline std::size_t firstStopInBlock(const char* p) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i lastControl = _mm_set1_epi8(0x1F);
  // Unsigned: a byte is at most 0x1F when the larger of it and 0x1F is 0x1F.
  const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(block, lastControl), lastControl);
  const __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('"')),
                                                 _mm_cmpeq_epi8(block, _mm_set1_epi8('\\'))),
                                    control);
  const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stop)) | (1u << kScanBlock);
  return static_cast<std::size_t>(std::countr_zero(mask));
}
#else
inline constexpr std::size_t kScanBlock = sizeof(std::uintptr_t);

// A word at a time. Each test flags a byte by its top bit; a borrow can only flag bytes above a
// byte truly flagged, so the lowest flag is exact on these little-endian targets.
inline std::size_t firstStopInBlock(const char* p) {
  using Word = std::uintptr_t;
  constexpr Word kOnes = ~Word{0} / 0xFF;
  constexpr Word kTops = kOnes * 0x80;
  Word word;
  std::memcpy(&word, p, sizeof(word));
  const Word quote = word ^ (kOnes * '"');
  const Word backslash = word ^ (kOnes * '\\');
  const Word stop = (((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                     ((word - kOnes * 0x20) & ~word)) &
                    kTops;
  return stop == 0 ? kScanBlock : static_cast<std::size_t>(std::countr_zero(stop)) / 8;
}
#endif

// The length of the plain run at `bytes`, for text that ends in a byte that is not plain (a
// terminator) followed by at least kScanBlock - 1 bytes that may be read.
inline std::size_t plainRunPadded(const char* bytes) {
  std::size_t length = 0;
  for (;;) {
    const std::size_t stop = firstStopInBlock(bytes + length);
    length += stop;
    if (stop != kScanBlock) return length;
  }
}

// As much of the plain run at `bytes` as whole blocks before `end` hold: the run may go on past
// the length returned, but only where less than a block is left.
inline std::size_t plainRunBounded(const char* bytes, const char* end) {
  std::size_t length = 0;
  while (static_cast<std::size_t>(end - (bytes + length)) >= kScanBlock) {
    const std::size_t stop = firstStopInBlock(bytes + length);
    length += stop;
    if (stop != kScanBlock) break;
  }
  return length;
}

}  // namespace tev::json_internal
