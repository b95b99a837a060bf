#include "logging/log_message.h"

#include <cstdarg>

#include "logging/log_api.h"

namespace tev {

void logMessage(std::int32_t level, std::uint32_t groupLow, std::uint32_t groupHigh,
                const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  logApi().log(level, groupLow, groupHigh, format, args);
  va_end(args);
}

}  // namespace tev
