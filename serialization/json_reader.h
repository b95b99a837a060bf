// Reading JSON text into a BindingProperty tree, and the quick test that picks JSON for a body.
// The returned result owns its tree; nothing refers back to the input once parsing returns.
// Not for streams: the whole text must be in memory.
#pragma once

#include <cstddef>
#include <string_view>

#include "binding/binding_result.h"

namespace tev {

// Parses one JSON value. null is empty, true/false bool, an integer without minus sign that
// fits 64 bits unsigned, one with a minus sign that fits 64 bits signed, any other number float;
// arrays become collections and objects structures (a repeated key replaces the member).
// On failure the result holds {"error": "Error: <message> at offset <byte offset>."} with
// rapidjson's English message, and nesting deeper than kMaxNestingDepth is refused as
// "Error: Nesting deeper than 128 levels at offset <offset of the bracket>.".
// This form reads up to the terminating NUL; `text` may be null (an empty document).
[[nodiscard]] BindingResult parseJson(const char* text);
// The same over `length` bytes at `data`; a NUL inside them ends the text there.
[[nodiscard]] BindingResult parseJson(const char* data, std::size_t length);

// True when the first character that is not a space (only ' ' is skipped) is '{' or '['.
[[nodiscard]] bool looksLikeJson(std::string_view text);
[[nodiscard]] bool looksLikeJson(const char* text);

}  // namespace tev
