// Where the JSON writer stops handing texts to rapidjson. Exposed for tests, which write with a
// limit of 0 and compare the texts with rapidjson's.
#pragma once

#include <cstddef>

#include "binding/binding_property.h"
#include "platform/allocator.h"

namespace tev {
class BindingRegistry;
}

namespace tev::serialization_internal {

// Keys and strings longer than this many bytes are quoted and escaped by the writer itself.
// rapidjson would reserve six bytes of room per byte of text, so 16 MB of text costs it 96 MB
// of room at most, well short of the 32-bit counts it keeps them in.
inline constexpr std::size_t kJsonLongText = std::size_t{16} << 20;

// writeJson with another limit.
[[nodiscard]] String writeJsonWithLongTexts(const BindingProperty& value,
                                            const BindingRegistry* registry, const char* lineBreak,
                                            std::size_t longText);

}  // namespace tev::serialization_internal
