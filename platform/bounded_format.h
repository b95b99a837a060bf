// The one bounded printf of the project. Every formatted text goes through it so that both
// targets produce identical output (the C99 formatter on both, never MSVCRT's own, which differs
// on "%lld", "%p" and exponent digits).
#pragma once

#include <cstdarg>
#include <cstddef>

namespace tev::platform {

// Formats into `buffer` of `size` bytes in truncating mode. Returns the number of characters
// written (terminator excluded), or -1 when the text did not fit: the buffer then holds the first
// size - 1 characters. The buffer is always terminated when size > 0; size 0 writes nothing and
// returns -1.
[[nodiscard]] int boundedFormat(char* buffer, std::size_t size, const char* format,
                                std::va_list args);

}  // namespace tev::platform
