// How the YAML reader types a scalar in value position: the core tags, quoted styles, and the
// plain-scalar rules (null set, numbers, true and false sets, else string). Stateless.
#pragma once

#include <string_view>

#include "binding/binding_property.h"
#include "platform/allocator.h"

namespace tev::serialization_internal {

enum class YamlScalarStyle { kPlain, kQuoted };

// Sets `target` from the scalar `text` with its tag (`tag` null when the scalar has none).
// `text` must be followed by a NUL byte in memory (libyaml's scalars are); it may hold NULs of
// its own. Returns false with `error` set for an unsupported tag or a tagged int or float that
// does not convert.
[[nodiscard]] bool typeYamlScalar(std::string_view text, const char* tag, YamlScalarStyle style,
                                  BindingProperty& target, String& error);

// The null, true and false sets of untagged plain scalars.
bool isYamlNull(std::string_view text);
bool isYamlTrue(std::string_view text);
bool isYamlFalse(std::string_view text);

}  // namespace tev::serialization_internal
