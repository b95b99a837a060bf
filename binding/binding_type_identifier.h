// How a field, argument or return value is typed: a builtin code, the element code of a vector or
// map, and the registered record or enumeration it refers to. A plain value; the descriptor it
// points to is owned by the registry and lives until the registry shuts down.
#pragma once

#include "binding/binding_builtin_type.h"

namespace tev {

struct BindingTypeDescriptor;

struct BindingTypeIdentifier {
  BindingBuiltinType type = BindingBuiltinType::kNone;
  // For kVector and kMap the code of the elements; otherwise kNone.
  BindingBuiltinType elementType = BindingBuiltinType::kNone;
  // For kStruct and kEnum, and for vectors and maps of them: the registered descriptor, or null
  // when the type was not registered when the identifier was made.
  const BindingTypeDescriptor* descriptor = nullptr;

  // The identifier of a vector's or map's elements: {elementType, kNone, descriptor}.
  constexpr BindingTypeIdentifier element() const {
    return BindingTypeIdentifier{elementType, BindingBuiltinType::kNone, descriptor};
  }
  friend constexpr bool operator==(const BindingTypeIdentifier&,
                                   const BindingTypeIdentifier&) = default;
};

}  // namespace tev
