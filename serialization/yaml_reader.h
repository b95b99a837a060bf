// Reading one YAML document into a BindingProperty tree, with anchors and aliases resolved, and
// the quick test that picks YAML for a body. The returned result owns its tree; parser state
// lives only for the call. There is no YAML writer.
#pragma once

#include <cstddef>
#include <string_view>

#include "binding/binding_result.h"

namespace tev {

// Parses UTF-8 YAML text holding one document. Plain scalars are typed (null set, numbers,
// true and false sets, else string); quoted ones are strings; the str, int, float and bool core
// tags are honoured and any other tag on a scalar is refused. Mapping keys must be string
// scalars. An alias is a copy of the anchored node as it stands when the alias is read.
// Errors name the event's line and column counted from 1, except libyaml's own syntax errors,
// which keep libyaml's 0-based position. Nesting deeper than kMaxNestingDepth, also through an
// alias, and aliases that together would copy more than max(10 x events read, 100000) nodes are
// refused. This form reads up to the terminating NUL; `text` may be null.
[[nodiscard]] BindingResult parseYaml(const char* text);
// The same over `length` bytes at `data`; a NUL byte inside them is a syntax error.
[[nodiscard]] BindingResult parseYaml(const char* data, std::size_t length);

// True when the text, after leading spaces (only ' '), begins with "---".
[[nodiscard]] bool looksLikeYaml(std::string_view text);
[[nodiscard]] bool looksLikeYaml(const char* text);

}  // namespace tev
