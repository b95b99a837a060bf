// The 32-bit method code shared with the host. Codes 1-8 are the host's own; any other value
// the host sends is taken as 0 (none/any). A plain value type.
#pragma once

#include <cstdint>
#include <string_view>

namespace tev {

enum class HttpMethod : std::uint32_t {
  kAny = 0,
  kDelete = 1,
  kGet = 2,
  kHead = 3,
  kOptions = 4,
  kPatch = 5,
  kPost = 6,
  kPut = 7,
  kOther = 8,  // the method's text travels beside the code
};

// The host's code taken over: 1-8 unchanged, anything else 0.
HttpMethod httpMethodFromHost(std::uint32_t code);

// "DELETE" ... "PUT" for codes 1-7; an empty text for every other code.
std::string_view methodName(HttpMethod method);

}  // namespace tev
