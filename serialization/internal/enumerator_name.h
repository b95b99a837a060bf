// The one place where the JSON writer asks the type registry for an enumerator's name. Kept
// apart so that the writer does not depend on the registry's layout.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tev {
class BindingRegistry;
}

namespace tev::serialization_internal {

// The name of the enumerator of the enumeration `typeId` whose value is `value`, when
// `registry` is given and knows one. The view stays valid until the registry shuts down.
std::optional<std::string_view> enumeratorName(const BindingRegistry* registry,
                                               std::uint32_t typeId, std::int32_t value);

}  // namespace tev::serialization_internal
