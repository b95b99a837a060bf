// The printf placeholder grammar shared by the positional formatter and the named-template
// compiler. Internal to logging/.
#pragma once

#include <cstddef>

namespace tev::format_internal {

// One parsed placeholder, from just after its '%'.
struct PrintfSpec {
  static constexpr std::size_t kCapacity = 64;
  static constexpr std::size_t kLimit = 60;  // a specification may not reach this length

  char text[kCapacity];  // '%', flags, width ('*' bare), precision, length, conversion
  std::size_t length = 0;
  std::size_t position = 0;    // explicit argument number, 0 for none
  std::size_t starIndex[2]{};  // width then precision: explicit '*N$' number, 0 for sequential
  bool hasStar[2]{};
  bool overflow = false;  // reached kLimit: the caller stops formatting
};

// Parses the placeholder starting right after '%'. `count` is the number of arguments: a
// leading number above it is read as a width. Returns the position after the placeholder; the
// terminating zero of the template is never consumed.
const char* parsePrintfSpec(const char* cursor, std::size_t count, PrintfSpec& spec);

}  // namespace tev::format_internal
