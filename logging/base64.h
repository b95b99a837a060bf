// Base64 with the standard alphabet and '=' padding (RFC 4648), no line breaks; byte arrays are
// written as text this way.
#pragma once

#include <cstddef>

#include "platform/allocator.h"

namespace tev {

String base64Encode(const void* bytes, std::size_t count);

}  // namespace tev
