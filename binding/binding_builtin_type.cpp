#include "binding/binding_builtin_type.h"

namespace tev {

std::string_view bindingBuiltinTypeName(BindingBuiltinType type) {
  static constexpr std::string_view kNames[] = {"",       "bool",   "int8",   "uint8",    "int16",
                                                "uint16", "int32",  "uint32", "int64",    "uint64",
                                                "float",  "double", "string", "object",   "blob",
                                                "vector", "enum",   "struct", "callback", "map"};
  const auto code = static_cast<std::uint32_t>(type);
  return code < std::size(kNames) ? kNames[code] : std::string_view();
}

}  // namespace tev
