// The call context: what a function that asks for one learns about the request that called it.
// Built by the router for the duration of one call and handed to the invoker by reference;
// never keep it past the call. Functions that take no context report NoCallContext instead.
#pragma once

#include <cstdint>

#include "binding/binding_type_info.h"
#include "platform/allocator.h"
#include "router/http_method.h"

namespace tev {

class BindingRegistry;

struct CallContext {
  void* requestHandle = nullptr;  // the host's, unchanged
  // The wall-clock time of the call: 100-nanosecond ticks since 1970-01-01 (UTC).
  std::int64_t time = 0;
  const BindingRegistry* registry = nullptr;  // the function's
  HttpMethod method = HttpMethod::kAny;
  String methodText;
  String target;              // as the host gave it, query included
  StringMap<String> headers;  // every request header; a repeated name keeps the last value
};

// The context type of functions that take no call context.
struct NoCallContext {};

// Whether an invoker's context type asks for a CallContext: the two request-context type
// identifiers do; every other identifier, the no-context one included, does not.
constexpr bool isRequestContextType(std::uint32_t identifier) {
  return identifier == kBindingCallContextIdentifier ||
         identifier == kBindingSecondCallContextIdentifier;
}

}  // namespace tev

TEV_BINDING_TYPE_WITH_IDENTIFIER(tev::CallContext, tev::kBindingCallContextIdentifier);
TEV_BINDING_TYPE_WITH_IDENTIFIER(tev::NoCallContext, tev::kBindingNoContextIdentifier);
