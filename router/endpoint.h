// An endpoint: one published function with the path, method and argument sources through which
// the host reaches it. The router owns every endpoint record from registration to its own
// destruction, at one address; the function descriptor and the invoker stay the registry's.
#pragma once

#include <cstdint>

#include "platform/allocator.h"
#include "router/http_method.h"

namespace tev {

struct BindingFunctionDescriptor;
class EndpointInvoker;

// Where an argument may take its value from. kAny accepts query, path and header values; any
// other code accepts values from that source only. Body arguments take the decoded body.
enum class ArgumentLocation : std::uint32_t {
  kAny = 0,
  kQuery = 1,
  kPath = 2,
  kHeader = 4,
  kBody = 5,
};

struct Endpoint {
  const BindingFunctionDescriptor* function = nullptr;
  EndpointInvoker* invoker = nullptr;  // null: the endpoint cannot be called yet
  String pathTemplate;                 // empty: the function's name is the template
  HttpMethod method = HttpMethod::kAny;
  String methodText;  // compared with the request's text when method is kOther
  std::uint8_t flag = 0;
  Vector<Vector<String>> tagLists;
  // One per argument of the function when the endpoint was created; missing entries are kAny.
  Vector<ArgumentLocation> locations;

  ArgumentLocation location(std::size_t argument) const {
    return argument < locations.size() ? locations[argument] : ArgumentLocation::kAny;
  }
};

}  // namespace tev
