// The one bounded printf of the project. Every formatted text goes through it so that both
// targets produce identical output (the C99 formatter on both, never MSVCRT's own, which differs
// on "%lld", "%p" and exponent digits).
#pragma once

#include <cstdarg>
#include <cstddef>

namespace tev::platform {

// What boundedFormat returns instead of a length.
inline constexpr int kBoundedFormatTruncated = -1;
inline constexpr int kBoundedFormatFailed = -2;

// Formats into `buffer` of `size` bytes in truncating mode. Returns the number of characters
// written (terminator excluded); kBoundedFormatTruncated (-1) when the text did not fit: the
// buffer then holds the first size - 1 characters; kBoundedFormatFailed (-2) when the C library's
// formatter itself failed (a value it cannot represent, an invalid conversion): the buffer then
// holds the empty text. The buffer is always terminated when size > 0; size 0 writes nothing and
// returns -1.
[[nodiscard]] int boundedFormat(char* buffer, std::size_t size, const char* format,
                                std::va_list args);

}  // namespace tev::platform
