// How each native type converts to and from BindingProperty: bool, the eight fixed-width
// integers, float, double, tev::String and std::string, BindingProperty ("object"),
// tev::Vector and std::vector of any of these, std::optional wrappers, and the records and
// enumerations declared with TEV_BINDING_TYPE (converted through their registered descriptors).
// Stateless; use binding/binding_conversion.h for whole conversions.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/binding_field_converter.h"
#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/binding_result.h"
#include "binding/binding_type_identifier.h"
#include "binding/binding_type_info.h"
#include "binding/internal/conversion_steps.h"
#include "platform/allocator.h"

namespace tev {

// Each specialisation provides:
//   kOptional: whether T is an optional wrapper;
//   identifier(registry): T's type identifier, referenced descriptor resolved in `registry`
//     (which may be null);
//   toNative(result, value, native, path, context): value to native; nothing when `result`
//     has failed; a failure fails `result` and may leave `native` partly assigned;
//   toValue(target, native, error, context): native to value into the empty `target`; false
//     with `error` set on failure.
template <typename T, typename = void>
struct BindingTraits;

namespace binding_internal {

template <typename T>
BindingTypeIdentifier referencedIdentifier(BindingBuiltinType type,
                                           const BindingRegistry* registry) {
  return BindingTypeIdentifier{
      type, BindingBuiltinType::kNone,
      registry == nullptr ? nullptr : registry->findType(bindingTypeInfo<T>().identifier)};
}

template <typename T>
struct IntegerInfo;
template <>
struct IntegerInfo<std::int8_t> {
  static constexpr BindingBuiltinType kType = BindingBuiltinType::kInt8;
};
template <>
struct IntegerInfo<std::uint8_t> {
  static constexpr BindingBuiltinType kType = BindingBuiltinType::kUint8;
};
template <>
struct IntegerInfo<std::int16_t> {
  static constexpr BindingBuiltinType kType = BindingBuiltinType::kInt16;
};
template <>
struct IntegerInfo<std::uint16_t> {
  static constexpr BindingBuiltinType kType = BindingBuiltinType::kUint16;
};
template <>
struct IntegerInfo<std::int32_t> {
  static constexpr BindingBuiltinType kType = BindingBuiltinType::kInt32;
};
template <>
struct IntegerInfo<std::uint32_t> {
  static constexpr BindingBuiltinType kType = BindingBuiltinType::kUint32;
};
template <>
struct IntegerInfo<std::int64_t> {
  static constexpr BindingBuiltinType kType = BindingBuiltinType::kInt64;
};
template <>
struct IntegerInfo<std::uint64_t> {
  static constexpr BindingBuiltinType kType = BindingBuiltinType::kUint64;
};

template <typename T>
concept BindingInteger = requires {
  IntegerInfo<T>::kType;
};

template <typename T>
concept BindingRecord = std::is_class_v<T> && BindingNamedType<T>;

template <typename T>
concept BindingEnumeration = std::is_enum_v<T> && BindingNamedType<T>;

template <typename T>
struct IsStringType : std::false_type {};
template <typename Traits, typename Allocator>
struct IsStringType<std::basic_string<char, Traits, Allocator>> : std::true_type {};

template <typename T>
struct IsVectorType : std::false_type {};
template <typename E, typename Allocator>
struct IsVectorType<std::vector<E, Allocator>> : std::true_type {};

template <typename T>
struct IsOptionalType : std::false_type {};
template <typename E>
struct IsOptionalType<std::optional<E>> : std::true_type {};

// Records are the named classes that are none of the builtin native classes.
template <typename T>
concept BindingUserRecord =
    BindingRecord<T> && !IsStringType<T>::value && !IsVectorType<T>::value &&
    !IsOptionalType<T>::value && !std::is_same_v<T, BindingProperty>;

}  // namespace binding_internal

template <>
struct BindingTraits<bool> {
  static constexpr bool kOptional = false;
  static BindingTypeIdentifier identifier(const BindingRegistry*) {
    return {BindingBuiltinType::kBool};
  }
  static void toNative(BindingResult& result, const BindingProperty& value, bool& native,
                       std::string_view path, const BindingConversionContext&) {
    if (value.isBool() && result.ok()) {
      native = value.getBool();
      return;
    }
    binding_internal::boolFromValue(result, value, path, native);
  }
  static bool toValue(BindingProperty& target, const bool& native, String&,
                      const BindingConversionContext&) {
    target.setBool(native);
    return true;
  }
};

template <typename T>
struct BindingTraits<T, std::enable_if_t<binding_internal::BindingInteger<T>>> {
  static constexpr bool kOptional = false;
  static constexpr BindingBuiltinType kType = binding_internal::IntegerInfo<T>::kType;
  static BindingTypeIdentifier identifier(const BindingRegistry*) { return {kType}; }
  static void toNative(BindingResult& result, const BindingProperty& value, T& native,
                       std::string_view path, const BindingConversionContext&) {
    // The common cases inline: a signed or an unsigned number that fits (the JSON reader gives
    // every non-negative integer as unsigned, whatever the field's type). Every other input,
    // and every failure, takes the full path.
    if constexpr (std::is_signed_v<T>) {
      if (fitsInline(result, value, native)) return;
      std::int64_t converted = 0;
      if (binding_internal::signedFromValue(result, value, path, std::numeric_limits<T>::min(),
                                            std::numeric_limits<T>::max(),
                                            bindingBuiltinTypeName(kType), converted)) {
        native = static_cast<T>(converted);
      }
    } else {
      if (fitsInline(result, value, native)) return;
      std::uint64_t converted = 0;
      if (binding_internal::unsignedFromValue(result, value, path, std::numeric_limits<T>::max(),
                                              bindingBuiltinTypeName(kType), converted)) {
        native = static_cast<T>(converted);
      }
    }
  }
  static bool toValue(BindingProperty& target, const T& native, String&,
                      const BindingConversionContext&) {
    if constexpr (std::is_signed_v<T>) {
      target.setSigned(native);
    } else {
      target.setUnsigned(native);
    }
    return true;
  }

 private:
  // Assigns `native` when `value` is a signed or unsigned number within T's range and `result`
  // has not failed; false leaves everything to the full path.
  static bool fitsInline(const BindingResult& result, const BindingProperty& value, T& native) {
    if (!result.ok()) return false;
    if (value.isSigned()) {
      const std::int64_t v = value.getSigned();
      if (std::cmp_less(v, std::numeric_limits<T>::min()) ||
          std::cmp_greater(v, std::numeric_limits<T>::max())) {
        return false;
      }
      native = static_cast<T>(v);
      return true;
    }
    if (value.isUnsigned()) {
      const std::uint64_t v = value.getUnsigned();
      if (std::cmp_greater(v, std::numeric_limits<T>::max())) return false;
      native = static_cast<T>(v);
      return true;
    }
    return false;
  }
};

template <typename T>
struct BindingTraits<T, std::enable_if_t<std::is_floating_point_v<T>>> {
  static_assert(std::is_same_v<T, float> || std::is_same_v<T, double>,
                "float and double are the floating types of the binding layer");
  static constexpr bool kOptional = false;
  static constexpr BindingBuiltinType kType =
      std::is_same_v<T, float> ? BindingBuiltinType::kFloat : BindingBuiltinType::kDouble;
  static BindingTypeIdentifier identifier(const BindingRegistry*) { return {kType}; }
  static void toNative(BindingResult& result, const BindingProperty& value, T& native,
                       std::string_view path, const BindingConversionContext&) {
    double converted = 0;
    if (binding_internal::floatingFromValue(result, value, path, std::numeric_limits<T>::max(),
                                            bindingBuiltinTypeName(kType), converted)) {
      native = static_cast<T>(converted);
    }
  }
  static bool toValue(BindingProperty& target, const T& native, String&,
                      const BindingConversionContext&) {
    target.setFloat(native);
    return true;
  }
};

template <typename T>
struct BindingTraits<T, std::enable_if_t<binding_internal::IsStringType<T>::value>> {
  static constexpr bool kOptional = false;
  static BindingTypeIdentifier identifier(const BindingRegistry*) {
    return {BindingBuiltinType::kString};
  }
  static void toNative(BindingResult& result, const BindingProperty& value, T& native,
                       std::string_view path, const BindingConversionContext& context) {
    std::string_view converted;
    if (value.isString() && result.ok()) {
      converted = value.getString();
      native.assign(converted.data(), converted.size());
      return;
    }
    if (binding_internal::stringFromValue(result, value, path, context.registry, converted)) {
      native.assign(converted.data(), converted.size());
    }
  }
  static bool toValue(BindingProperty& target, const T& native, String&,
                      const BindingConversionContext&) {
    target.setString(std::string_view(native.data(), native.size()));
    return true;
  }
};

template <>
struct BindingTraits<BindingProperty> {
  static constexpr bool kOptional = false;
  static BindingTypeIdentifier identifier(const BindingRegistry*) {
    return {BindingBuiltinType::kObject};
  }
  static void toNative(BindingResult& result, const BindingProperty& value, BindingProperty& native,
                       std::string_view, const BindingConversionContext&) {
    binding_internal::objectFromValue(result, value, native);
  }
  static bool toValue(BindingProperty& target, const BindingProperty& native, String&,
                      const BindingConversionContext&) {
    target = native;
    return true;
  }
};

template <typename T>
struct BindingTraits<T, std::enable_if_t<binding_internal::BindingEnumeration<T>>> {
  static_assert(sizeof(T) == 4, "enumerations of the binding layer are 32-bit");
  static constexpr bool kOptional = false;
  static BindingTypeIdentifier identifier(const BindingRegistry* registry) {
    return binding_internal::referencedIdentifier<T>(BindingBuiltinType::kEnum, registry);
  }
  static void toNative(BindingResult& result, const BindingProperty& value, T& native,
                       std::string_view path, const BindingConversionContext& context) {
    std::int32_t converted = 0;
    if (binding_internal::enumFromValue(result, value, path, context.descriptor,
                                        bindingTypeInfo<T>().displayText, converted)) {
      native = static_cast<T>(converted);
    }
  }
  static bool toValue(BindingProperty& target, const T& native, String&,
                      const BindingConversionContext&) {
    target.setEnum(static_cast<std::int32_t>(native), bindingTypeInfo<T>().identifier);
    return true;
  }
};

template <typename T>
struct BindingTraits<T, std::enable_if_t<binding_internal::BindingUserRecord<T>>> {
  static constexpr bool kOptional = false;
  static BindingTypeIdentifier identifier(const BindingRegistry* registry) {
    return binding_internal::referencedIdentifier<T>(BindingBuiltinType::kStruct, registry);
  }
  static void toNative(BindingResult& result, const BindingProperty& value, T& native,
                       std::string_view path, const BindingConversionContext& context) {
    binding_internal::recordFromValue(result, value, path, context, &native);
  }
  static bool toValue(BindingProperty& target, const T& native, String& error,
                      const BindingConversionContext& context) {
    return binding_internal::recordToValue(target, &native, context, error);
  }
};

template <typename E, typename Allocator>
struct BindingTraits<std::vector<E, Allocator>> {
  using Element = BindingTraits<E>;
  static constexpr bool kOptional = false;
  static BindingTypeIdentifier identifier(const BindingRegistry* registry) {
    const BindingTypeIdentifier element = Element::identifier(registry);
    return BindingTypeIdentifier{BindingBuiltinType::kVector, element.type, element.descriptor};
  }
  static void toNative(BindingResult& result, const BindingProperty& value,
                       std::vector<E, Allocator>& native, std::string_view path,
                       const BindingConversionContext& context) {
    if (!result.ok()) return;
    native.clear();
    if (!binding_internal::vectorInputUsable(result, value, path, context)) return;
    const std::span<const BindingProperty> elements = value.elements();
    native.resize(elements.size());
    const BindingConversionContext elementContext{context.registry, context.descriptor,
                                                  context.depth + 1, context.shapes};
    for (std::size_t i = 0; i < elements.size() && result.ok(); ++i) {
      if (elements[i].isEmpty()) continue;  // keeps the default element
      if constexpr (std::is_same_v<E, bool>) {
        bool element = false;
        Element::toNative(result, elements[i], element, path, elementContext);
        native[i] = element;
      } else {
        Element::toNative(result, elements[i], native[i], path, elementContext);
      }
    }
  }
  static bool toValue(BindingProperty& target, const std::vector<E, Allocator>& native,
                      String& error, const BindingConversionContext& context) {
    if (!binding_internal::vectorOutputUsable(context, error)) return false;
    target.makeCollection();
    target.reserve(native.size());
    const BindingConversionContext elementContext{context.registry, context.descriptor,
                                                  context.depth + 1};
    for (const auto& element : native) {
      if constexpr (std::is_same_v<E, bool>) {
        if (!Element::toValue(target.append(), static_cast<bool>(element), error, elementContext)) {
          return false;
        }
      } else {
        if (!Element::toValue(target.append(), element, error, elementContext)) return false;
      }
    }
    return true;
  }
};

template <typename E>
struct BindingTraits<std::optional<E>> {
  using Inner = BindingTraits<E>;
  static constexpr bool kOptional = true;
  static BindingTypeIdentifier identifier(const BindingRegistry* registry) {
    return Inner::identifier(registry);
  }
  static void toNative(BindingResult& result, const BindingProperty& value,
                       std::optional<E>& native, std::string_view path,
                       const BindingConversionContext& context) {
    if (!result.ok()) return;
    if (value.isEmpty()) {
      native.reset();
      return;
    }
    // Converted beside the wrapper and taken over only on success: a failure must neither
    // leave a half-converted value in a wrapper that held nothing nor spoil the value it held
    // (a record inside starts from that value, so members absent from the input keep theirs).
    E converted = native.has_value() ? *native : E();
    Inner::toNative(result, value, converted, path, context);
    if (result.ok()) native = std::move(converted);
  }
  static bool toValue(BindingProperty& target, const std::optional<E>& native, String& error,
                      const BindingConversionContext& context) {
    if (!native.has_value()) {
      target.reset();
      return true;
    }
    return Inner::toValue(target, *native, error, context);
  }
};

}  // namespace tev
