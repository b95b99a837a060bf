// Outgoing HTTP requests that the host performs for the plugin: the request as the caller builds
// it, the converted answer, and the conversion from the host's answer record. Plain values owned
// by the caller; nothing here keeps a pointer into a host record after it returns.
#pragma once

#include <cstdint>
#include <string_view>

#include "binding/binding_property.h"
#include "platform/allocator.h"
#include "platform/host_boundary.h"
#include "router/http_method.h"

namespace tev {

using HeaderMap = OrderedMap<String, String>;

struct ExternalRequest {
  HttpMethod method = HttpMethod::kGet;
  String url;
  HeaderMap headers;            // sent in the map's order, after the plugin's user agent
  String body;                  // the bytes sent, any content
  std::uint32_t parameter = 0;  // handed to the host unchanged
  std::uint8_t flag = 0;        // handed to the host unchanged
};

struct ExternalResponse {
  std::int32_t error = -1;        // 0 none; 2 and -1 as the host said; 1 any other host error
  std::int32_t status = 0;        // HTTP status; 0 when the request failed
  std::int32_t decodeError = -1;  // non-zero: the body or the headers could not be converted
  String message;
  HeaderMap headers;
  BindingProperty body;
};

// Converts the host's answer to the request labelled `label` ("POST <url>"): a host error
// keeps its body as the message; otherwise the status and headers are taken over and a non-empty
// body is parsed as JSON (failing that, kept as text). `shortName` prefixes the trace texts.
// Only reads the record; the caller releases it.
[[nodiscard]] ExternalResponse convertExternalAnswer(const HostExternalAnswer& answer,
                                                     std::string_view label,
                                                     std::string_view shortName);

// Whether two header names are equal without regard to ASCII letter case.
[[nodiscard]] bool headerNameEquals(std::string_view a, std::string_view b) noexcept;

}  // namespace tev
