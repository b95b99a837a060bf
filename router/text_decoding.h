// Turning request texts and bodies into values: the choice of codec by content type (or by
// sniffing the text), and the decoding itself. Decoded trees are the caller's; inputs are only
// read, bodies never past their length.
#pragma once

#include <cstddef>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/binding_result.h"

namespace tev {

struct BindingFunctionDescriptor;

// Whether `contentType` begins with `name`, letters compared without regard to case, so
// "Application/JSON; charset=utf-8" is "application/json".
[[nodiscard]] bool contentTypeIs(std::string_view contentType, std::string_view name);

// Decodes one argument's text into `target`. With a content type: "application/x-msgpack"
// (and "-ext") MessagePack, "application/json" JSON, "text/x-yaml" YAML,
// "application/octet-stream" a blob of the bytes, anything else a string. Without one and with
// `sniff`: a first byte 0x80-0x9F or 0xDC-0xDF is MessagePack, a '{' or '[' after spaces JSON,
// "---" after spaces YAML; otherwise a string. A decoder's failure fails `result` with
// "Couldn't deserialize <codec> value for parameter '<key>' of '<function>': <error>" and
// leaves `target` alone. Returns result.ok(); does nothing when `result` has already failed.
[[nodiscard]] bool decodeText(BindingResult& result, BindingProperty& target,
                              const BindingFunctionDescriptor& function, std::string_view key,
                              std::string_view value, std::string_view contentType, bool sniff);

// Decodes a request body into `target` by its content type: "application/x-msgpack" (also
// "-ext") over the body's bytes, where bytes left after the value are the error "Extra
// MessgePack data found in body"; "application/json" and "application/vnd.api+json" JSON and
// "application/x-yaml" YAML over the text up to the first NUL within the length. Any other type
// is "Unsupported body content type". Failures replace any earlier error of `result` and leave
// `target` alone; a success leaves an earlier error in place. Returns whether the body decoded.
bool decodeBody(BindingResult& result, BindingProperty& target, std::string_view contentType,
                const void* body, std::size_t length);

}  // namespace tev
