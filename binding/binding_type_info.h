// Static type information: one fixed 32-bit identifier and one display text per native type that
// takes part in binding. Both are constants of the program (the identifier is the FNV-1a hash of
// the type's qualified name unless the type declares a fixed one), so they are the same on every
// target and in every build; the records live for the whole process. Do not use an identifier
// as a hash of anything but a type.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "binding/internal/fixed_text.h"
#include "platform/allocator.h"

namespace tev {

class BindingProperty;

struct BindingTypeInfo {
  std::uint32_t identifier;
  const char* displayText;  // the qualified name of the native type; static storage
};

// Fixed identifiers. Only the types that declare them carry them; the no-context type's is the
// one identifier the registry never indexes. A hashed name landing on any of them fails to
// compile.
inline constexpr std::uint32_t kBindingCallContextIdentifier = 0x466F9860u;
inline constexpr std::uint32_t kBindingSecondCallContextIdentifier = 0x89462EBFu;
inline constexpr std::uint32_t kBindingNoContextIdentifier = 0x1BE7EF8Eu;

constexpr bool isFixedBindingIdentifier(std::uint32_t identifier) {
  return identifier == kBindingCallContextIdentifier ||
         identifier == kBindingSecondCallContextIdentifier ||
         identifier == kBindingNoContextIdentifier;
}

// The name of a native type. Specialised below for the builtin native types and by
// TEV_BINDING_TYPE for records and enumerations; each specialisation holds
// `static constexpr binding_internal::FixedText value` and may hold
// `static constexpr std::uint32_t kIdentifier` to fix its identifier.
template <typename T>
struct BindingTypeName;

namespace binding_internal {

template <typename T>
concept HasFixedIdentifier = requires {
  BindingTypeName<T>::kIdentifier;
};

template <typename T>
consteval std::uint32_t bindingIdentifierOf() {
  if constexpr (HasFixedIdentifier<T>) {
    static_assert(isFixedBindingIdentifier(BindingTypeName<T>::kIdentifier),
                  "only the call-context and no-context types fix their identifier");
    return BindingTypeName<T>::kIdentifier;
  } else {
    constexpr std::uint32_t hash = fnv1a32(BindingTypeName<T>::value.view());
    static_assert(!isFixedBindingIdentifier(hash),
                  "the name of this type hashes to a reserved identifier; rename it");
    return hash;
  }
}

template <typename T>
inline constexpr BindingTypeInfo kTypeInfo{bindingIdentifierOf<T>(),
                                           BindingTypeName<T>::value.chars};

}  // namespace binding_internal

// Whether T has static type information (a name).
template <typename T>
concept BindingNamedType = requires {
  BindingTypeName<std::remove_cv_t<T>>::value;
};

// The static type information of T; the same object on every call.
template <typename T>
requires BindingNamedType<T>
constexpr const BindingTypeInfo& bindingTypeInfo() {
  return binding_internal::kTypeInfo<std::remove_cv_t<T>>;
}

#define TEV_BINDING_DETAIL_NAME(Type, text)                   \
  template <>                                                 \
  struct BindingTypeName<Type> {                              \
    static constexpr binding_internal::FixedText value{text}; \
  }

TEV_BINDING_DETAIL_NAME(bool, "bool");
TEV_BINDING_DETAIL_NAME(std::int8_t, "std::int8_t");
TEV_BINDING_DETAIL_NAME(std::uint8_t, "std::uint8_t");
TEV_BINDING_DETAIL_NAME(std::int16_t, "std::int16_t");
TEV_BINDING_DETAIL_NAME(std::uint16_t, "std::uint16_t");
TEV_BINDING_DETAIL_NAME(std::int32_t, "std::int32_t");
TEV_BINDING_DETAIL_NAME(std::uint32_t, "std::uint32_t");
TEV_BINDING_DETAIL_NAME(std::int64_t, "std::int64_t");
TEV_BINDING_DETAIL_NAME(std::uint64_t, "std::uint64_t");
TEV_BINDING_DETAIL_NAME(float, "float");
TEV_BINDING_DETAIL_NAME(double, "double");
TEV_BINDING_DETAIL_NAME(String, "tev::String");
TEV_BINDING_DETAIL_NAME(std::string, "std::string");
TEV_BINDING_DETAIL_NAME(BindingProperty, "tev::BindingProperty");

#undef TEV_BINDING_DETAIL_NAME

template <typename T>
requires BindingNamedType<T>
struct BindingTypeName<Vector<T>> {
  static constexpr auto value = binding_internal::FixedText("tev::Vector<") +
                                BindingTypeName<T>::value + binding_internal::FixedText(">");
};

template <typename T>
requires BindingNamedType<T>
struct BindingTypeName<std::vector<T>> {
  static constexpr auto value = binding_internal::FixedText("std::vector<") +
                                BindingTypeName<T>::value + binding_internal::FixedText(">");
};

template <typename T>
requires BindingNamedType<T>
struct BindingTypeName<std::optional<T>> {
  static constexpr auto value = binding_internal::FixedText("std::optional<") +
                                BindingTypeName<T>::value + binding_internal::FixedText(">");
};

}  // namespace tev

// Gives a record or an enumeration its static type information. Use at global scope with the
// fully qualified name, without a leading "::": TEV_BINDING_TYPE(shop::ItemKey);
#define TEV_BINDING_TYPE(QualifiedType)                                        \
  template <>                                                                  \
  struct tev::BindingTypeName<QualifiedType> {                                 \
    static constexpr ::tev::binding_internal::FixedText value{#QualifiedType}; \
  }

// The same for a type that carries one of the fixed identifiers above.
#define TEV_BINDING_TYPE_WITH_IDENTIFIER(QualifiedType, fixedIdentifier)       \
  template <>                                                                  \
  struct tev::BindingTypeName<QualifiedType> {                                 \
    static constexpr ::tev::binding_internal::FixedText value{#QualifiedType}; \
    static constexpr std::uint32_t kIdentifier = fixedIdentifier;              \
  }
