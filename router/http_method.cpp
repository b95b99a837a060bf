#include "router/http_method.h"

namespace tev {

HttpMethod httpMethodFromHost(std::uint32_t code) {
  return code <= 8 ? static_cast<HttpMethod>(code) : HttpMethod::kAny;
}

std::string_view methodName(HttpMethod method) {
  switch (method) {
    case HttpMethod::kDelete:
      return "DELETE";
    case HttpMethod::kGet:
      return "GET";
    case HttpMethod::kHead:
      return "HEAD";
    case HttpMethod::kOptions:
      return "OPTIONS";
    case HttpMethod::kPatch:
      return "PATCH";
    case HttpMethod::kPost:
      return "POST";
    case HttpMethod::kPut:
      return "PUT";
    case HttpMethod::kAny:
    case HttpMethod::kOther:
      break;
  }
  return {};
}

}  // namespace tev
