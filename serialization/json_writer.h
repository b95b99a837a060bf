// Writing a BindingProperty tree as JSON text, compact or pretty. The text is a new string the
// caller owns; the tree and the registry are only read. Writing never fails.
#pragma once

#include "binding/binding_property.h"
#include "platform/allocator.h"

namespace tev {

class BindingRegistry;

// Writes `value` as JSON. An empty root gives the empty text (an empty member or element is
// null). Structures list their members in key order (bytes, unsigned); blobs are written as the
// Base64 text of their bytes; an enum value is written as its enumerator's name when `registry`
// is given and knows one, otherwise as its number. NaN and infinities, which JSON cannot hold,
// are written as null. Floats use rapidjson's shortest round-trip form (zero is 0.0).
// With `lineBreak` null or empty the text is compact; otherwise it is indented by four spaces
// per level, arrays broken over lines like objects, and every line ends with `lineBreak`.
[[nodiscard]] String writeJson(const BindingProperty& value,
                               const BindingRegistry* registry = nullptr,
                               const char* lineBreak = nullptr);

}  // namespace tev
