// Percent-decoding of captured path values and query texts. Pure function; never fails.
#pragma once

#include <string_view>

#include "platform/allocator.h"

namespace tev {

// '+' becomes a space and "%XY" the byte 0xXY. A '%' with fewer than two characters after it is
// dropped and what follows it is copied unchanged ("a%+" gives "a+"). A '%' followed by two
// characters that are not both hexadecimal digits is kept as it stands, with those characters, so
// "100%zz" stays "100%zz" and no byte is invented.
String percentDecode(std::string_view text);

}  // namespace tev
