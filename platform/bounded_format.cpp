#include "platform/bounded_format.h"

#include <cstdio>

namespace tev::platform {

int boundedFormat(char* buffer, std::size_t size, const char* format, std::va_list args) {
  if (size == 0 || buffer == nullptr) return -1;
    // MinGW builds with __USE_MINGW_ANSI_STDIO, so vsnprintf is its C99 implementation there too.
    // The formats are built at run time by the message formatter, which validates them itself.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const int needed = std::vsnprintf(buffer, size, format, args);
#pragma GCC diagnostic pop
  // A failure is not a truncation: what the formatter left in the buffer is not a prefix of
  // anything, so the caller gets the empty text and a result that says so.
  if (needed < 0) {
    buffer[0] = '\0';
    return kBoundedFormatFailed;
  }
  if (static_cast<std::size_t>(needed) >= size) return kBoundedFormatTruncated;
  return needed;
}

}  // namespace tev::platform
