// The outcome of a call to the host's local API: the typed value or a RemotingError with its
// code, message and the named fields the message was made from. Plain values owned by the
// caller.
#pragma once

#include <cstdint>
#include <string_view>

#include "logging/named_template.h"
#include "platform/allocator.h"

namespace tev {

struct RemotingError {
  std::int32_t errorCode = 0;  // 0 none; a local request's HTTP status or 400
  String message;
  // The named values of the message ("method", "url", "error" or "type") and, when the code is
  // not 0, "errorCode_int".
  FieldMap fields;
};

// Formats `namedTemplate` (with the placeholders {method}, {url} and {error}, in any order)
// into an error with `errorCode`.
[[nodiscard]] RemotingError makeRemotingError(std::int32_t errorCode, const char* namedTemplate,
                                              std::string_view method, std::string_view url,
                                              std::string_view error);

// A T, or the error that kept it from coming; `failed` tells which.
template <typename T = void>
struct RemoteCallResult {
  T value{};
  RemotingError error;
  bool failed = false;
};

// A call without a result value: only the flag and the error.
template <>
struct RemoteCallResult<void> {
  RemotingError error;
  bool failed = false;
};

}  // namespace tev
