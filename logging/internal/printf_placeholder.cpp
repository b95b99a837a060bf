#include "logging/internal/printf_placeholder.h"

#include <cstring>

namespace tev::format_internal {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal number, saturating far above any argument count.
const char* readNumber(const char* p, std::size_t& value) {
  value = 0;
  while (isDigit(*p)) {
    if (value < 100000) value = value * 10 + static_cast<std::size_t>(*p - '0');
    ++p;
  }
  return p;
}

bool append(PrintfSpec& spec, char c) {
  if (spec.length + 1 >= PrintfSpec::kLimit) {
    spec.overflow = true;
    return false;
  }
  spec.text[spec.length++] = c;
  spec.text[spec.length] = '\0';
  return true;
}

// '*', '*N$' or digits; `slot` 0 is the width, 1 the precision.
const char* parseStarOrDigits(const char* p, int slot, PrintfSpec& spec) {
  if (*p == '*') {
    ++p;
    if (isDigit(*p)) {
      std::size_t n = 0;
      const char* after = readNumber(p, n);
      if (*after == '$') {
        spec.starIndex[slot] = n;
        p = after + 1;
      }
    }
    spec.hasStar[slot] = true;
    append(spec, '*');
    return p;
  }
  while (isDigit(*p) && !spec.overflow) append(spec, *p++);
  return p;
}

}  // namespace

const char* parsePrintfSpec(const char* cursor, std::size_t count, PrintfSpec& spec) {
  spec = PrintfSpec{};
  spec.text[0] = '%';
  spec.text[1] = '\0';
  spec.length = 1;
  const char* p = cursor;

  if (*p >= '1' && *p <= '9') {
    std::size_t n = 0;
    const char* after = readNumber(p, n);
    if (n <= count) {
      spec.position = n;
      if (*after != '$') return after;  // '%1': complete, default conversion
      p = after + 1;
    }
    // Otherwise the digits are read again below, as a width.
  }
  while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr && !spec.overflow) append(spec, *p++);
  p = parseStarOrDigits(p, 0, spec);
  if (*p == '.' && !spec.overflow) {
    append(spec, '.');
    ++p;
    if (*p == '-') ++p;
    p = parseStarOrDigits(p, 1, spec);
  }
  if (spec.overflow) return p;
  if (*p == 'L' || *p == 'j' || *p == 't' || *p == 'z') {
    append(spec, *p++);
  } else if (*p == 'h' || *p == 'l') {
    const char letter = *p;
    append(spec, *p++);
    if (*p == letter) append(spec, *p++);
  }
  if (*p != '\0' && !spec.overflow) append(spec, *p++);
  return p;
}

}  // namespace tev::format_internal
