// Typed registration helpers: register a native record or enumeration under a name, and add a
// field from a pointer to member, deriving its offset, static type information, type identifier
// (with the referenced descriptor resolved now, so register referenced types first), optional
// flag and converter. Descriptors and converters belong to the registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>

#include "binding/binding_registry.h"
#include "binding/binding_traits.h"
#include "binding/binding_type_builder.h"
#include "binding/binding_type_info.h"
#include "platform/allocator.h"

namespace tev {

// The converter of a field of native type T.
template <typename T>
class TypedBindingFieldConverter final : public BindingFieldConverter {
 public:
  void toNative(BindingResult& result, const BindingProperty& value, void* field,
                std::string_view path, const BindingConversionContext& context) const override {
    BindingTraits<T>::toNative(result, value, *static_cast<T*>(field), path, context);
  }
  bool toValue(BindingProperty& target, const void* field, String& error,
               const BindingConversionContext& context) const override {
    return BindingTraits<T>::toValue(target, *static_cast<const T*>(field), error, context);
  }
  void dispose() noexcept override { destroyObject(this); }
};

template <typename T>
[[nodiscard]] BindingFieldConverterPtr makeBindingFieldConverter() {
  BindingFieldConverterPtr converter(createObject<TypedBindingFieldConverter<T>>());
  if (!converter) throw std::bad_alloc();
  return converter;
}

// Registers T (a record or an enumeration declared with TEV_BINDING_TYPE) under `name`.
template <typename T>
BindingTypeBuilder registerBindingType(BindingRegistry& registry, std::string_view name) {
  return registry.registerType(static_cast<std::uint32_t>(sizeof(T)), name, bindingTypeInfo<T>(),
                               std::is_enum_v<T>);
}

namespace binding_internal {

// The byte offset of a data member, read from storage in which no record is constructed.
template <typename Record, typename Member>
std::uint32_t memberOffset(Member Record::*member) {
  union Storage {
    Storage() {}
    ~Storage() {}
    unsigned char bytes[sizeof(Record)];
    Record record;
  } storage;
  const auto* address =
      reinterpret_cast<const unsigned char*>(std::addressof(storage.record.*member));
  return static_cast<std::uint32_t>(address - storage.bytes);
}

// How a record's conversion may assign a field of type T without its converter.
template <typename T>
constexpr BindingDirectField directField() {
  if constexpr (std::is_same_v<T, bool>) {
    return BindingDirectField::kBool;
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return BindingDirectField::kInt32;
  } else if constexpr (std::is_same_v<T, std::uint32_t>) {
    return BindingDirectField::kUint32;
  } else if constexpr (std::is_same_v<T, std::int64_t>) {
    return BindingDirectField::kInt64;
  } else if constexpr (std::is_same_v<T, std::uint64_t>) {
    return BindingDirectField::kUint64;
  } else if constexpr (std::is_same_v<T, String>) {
    return BindingDirectField::kString;
  } else if constexpr (std::is_same_v<T, std::optional<String>>) {
    return BindingDirectField::kOptionalString;
  } else {
    return BindingDirectField::kNone;
  }
}

}  // namespace binding_internal

// Adds the field `member` of Record under `name`. Flags: kBindingFieldOmitEmpty,
// kBindingFieldRequired. Does nothing on a builder whose type existed already.
template <typename Record, typename Member>
BindingTypeBuilder& addBindingField(BindingTypeBuilder& builder, std::string_view name,
                                    Member Record::*member, std::uint32_t flags = 0,
                                    std::string_view description = {}) {
  if (builder.existed()) return builder;
  BindingFieldSpec spec;
  spec.name = name;
  spec.description = description;
  spec.offset = binding_internal::memberOffset(member);
  spec.typeInfo = &bindingTypeInfo<Member>();
  spec.type = BindingTraits<Member>::identifier(&builder.registry());
  spec.flags = flags;
  spec.optional = BindingTraits<Member>::kOptional;
  spec.direct = binding_internal::directField<Member>();
  return builder.addField(spec, makeBindingFieldConverter<Member>());
}

}  // namespace tev
