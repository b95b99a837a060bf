#include "serialization/internal/enumerator_name.h"

#include "binding/binding_registry.h"

namespace tev::serialization_internal {

std::optional<std::string_view> enumeratorName(const BindingRegistry* registry,
                                               std::uint32_t typeId, std::int32_t value) {
  if (registry == nullptr) return std::nullopt;
  const String* name = registry->enumeratorName(typeId, value);
  if (name == nullptr) return std::nullopt;
  return std::string_view(name->data(), name->size());
}

}  // namespace tev::serialization_internal
