#include "logging/internal/line_format.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "logging/internal/log_core.h"
#include "logging/internal/log_groups.h"
#include "platform/bounded_format.h"
#include "platform/clock.h"
#include "platform/current_thread.h"

namespace tev::log_internal {
namespace {

std::atomic<std::int64_t> gFirstTicks{0};

// printf into a buffer through the project's one bounded formatter; returns the length kept.
std::size_t printInto(char* buffer, std::size_t size, const char* format, ...) {
  if (buffer == nullptr || size == 0) return 0;
  std::va_list args;
  va_start(args, format);
  const int written = platform::boundedFormat(buffer, size, format, args);
  va_end(args);
  return written >= 0 ? static_cast<std::size_t>(written) : std::strlen(buffer);
}

// Appends to a line while keeping `limit` characters at most.
class LineWriter {
 public:
  LineWriter(char* buffer, std::size_t limit) : buffer_(buffer), limit_(limit) {}

  void put(char c) {
    if (length_ < limit_) buffer_[length_++] = c;
  }
  void put(const char* text) {
    if (text == nullptr) return;
    while (*text != '\0' && length_ < limit_) buffer_[length_++] = *text++;
  }
  // Formats straight into the remaining room (plus one byte for the formatter's terminator,
  // which the line's reserve always has).
  template <typename... Args>
  void print(const char* format, Args... args) {
    length_ += printInto(buffer_ + length_, limit_ - length_ + 1, format, args...);
    if (length_ > limit_) length_ = limit_;
  }
  std::size_t length() const { return length_; }

 private:
  char* buffer_;
  std::size_t limit_;
  std::size_t length_ = 0;
};

}  // namespace

const char* levelName(std::int32_t level) {
  static constexpr const char* kWords[] = {"  OKAY", "  WARN", " ERROR", "ALWAYS"};
  if (level < 0 || level > 3) return "  ????";
  return kWords[level];
}

std::size_t formatTimestamp(const LogTime& time, char* buffer, std::size_t size) {
  return printInto(buffer, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", time.year, time.month,
                   time.day, time.hour, time.minute, time.second, time.millisecond);
}

std::size_t formatFileTimestamp(const LogTime& time, char* buffer, std::size_t size) {
  return printInto(buffer, size, "%04d-%02d-%02dT%02d-%02d-%02d", time.year, time.month, time.day,
                   time.hour, time.minute, time.second);
}

LogTime localTime() {
  const platform::LocalTime now = platform::readLocalTime();
  return LogTime{now.year, now.month, now.day, now.hour, now.minute, now.second, now.millisecond};
}

std::int64_t firstClockReading() {
  std::int64_t first = gFirstTicks.load();
  if (first == 0) {
    const std::int64_t now = platform::highResolutionTicks();
    std::int64_t expected = 0;
    first = gFirstTicks.compare_exchange_strong(expected, now) ? now : expected;
  }
  return first;
}

void elapsedSinceFirstReading(std::int64_t& seconds, std::int32_t& milliseconds) {
  const std::int64_t first = firstClockReading();
  const std::int64_t now = platform::highResolutionTicks();
  const std::int64_t frequency = platform::highResolutionFrequency();
  const std::int64_t elapsed = now > first ? now - first : 0;
  seconds = elapsed / frequency;
  milliseconds = static_cast<std::int32_t>((elapsed % frequency) * 1000 / frequency);
}

std::size_t formatLine(const LogRecord& record, const char* pattern, char* buffer,
                       std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  // Two bytes stay free for the line feed and the terminator.
  LineWriter line(buffer, size - 2);
  for (const char* at = pattern != nullptr ? pattern : ""; *at != '\0'; ++at) {
    if (*at != '#') {
      line.put(*at);
      continue;
    }
    ++at;
    if (*at == '\0') break;
    switch (*at) {
      case 'D': {
        char stamp[32];
        formatTimestamp(record.time, stamp, sizeof stamp);
        line.put(stamp);
        break;
      }
      case 'E':
        line.put(moduleName());
        break;
      case 'G': {
        char groups[kLogGroupSlots * 4 + 1];
        groupNames(record.groupMask, groups, sizeof groups);
        line.put(groups);
        break;
      }
      case 'H': {
        std::int64_t seconds = 0;
        std::int32_t milliseconds = 0;
        elapsedSinceFirstReading(seconds, milliseconds);
        line.print("%06d.%03d", static_cast<int>(seconds), static_cast<int>(milliseconds));
        break;
      }
      case 'L':
        line.put(levelName(record.level));
        break;
      case 'M':
        line.put(record.message);
        break;
      case 'T':
        line.print("%p", reinterpret_cast<void*>(
                             static_cast<std::uintptr_t>(platform::currentThreadId())));
        break;
      default:
        line.put(*at);
        break;
    }
  }
  std::size_t length = line.length();
  if (length == 0 || buffer[length - 1] != '\n') buffer[length++] = '\n';
  buffer[length] = '\0';
  return length;
}

}  // namespace tev::log_internal
