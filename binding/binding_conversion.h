// Whole conversions between native values and BindingProperty trees, driven by the registry's
// descriptors: records field by field, vectors element by element, with the conversion messages
// of the binding layer. Errors are reported in the BindingResult, never thrown; a failed
// value-to-native conversion leaves the native target partly assigned.
#pragma once

#include <string_view>

#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/binding_result.h"
#include "binding/binding_traits.h"
#include "binding/binding_type_descriptor.h"
#include "platform/allocator.h"

namespace tev {

// Value to native: converts `value` into `native`, naming `path` in messages (a parameter name,
// "<value>", "<result>"). Records and enumerations are looked up in `registry` by their type
// identifier; a null registry leaves them unregistered. Does nothing when `result` has already
// failed, and never changes the result's value while it succeeds. Returns result.ok().
template <typename T>
[[nodiscard]] bool convertToNative(BindingResult& result, const BindingProperty& value, T& native,
                                   std::string_view path, const BindingRegistry* registry) {
  const BindingConversionContext context{registry,
                                         BindingTraits<T>::identifier(registry).descriptor, 0};
  BindingTraits<T>::toNative(result, value, native, path, context);
  return result.ok();
}

// Native to value: resets `result` to an empty success and builds the value of `native` in it;
// on failure the result holds the first error. Returns result.ok().
template <typename T>
[[nodiscard]] bool convertToValue(BindingResult& result, const T& native,
                                  const BindingRegistry* registry) {
  result.reset();
  const BindingConversionContext context{registry,
                                         BindingTraits<T>::identifier(registry).descriptor, 0};
  String error;
  if (!BindingTraits<T>::toValue(result.value(), native, error, context)) result.fail(error);
  return result.ok();
}

// The same for a record known only by its descriptor (null: unregistered) and address; `record`
// must point to a native record of the descriptor's type.
[[nodiscard]] bool convertRecordToNative(BindingResult& result, const BindingProperty& value,
                                         void* record, const BindingTypeDescriptor* descriptor,
                                         std::string_view path, const BindingRegistry* registry);
[[nodiscard]] bool convertRecordToValue(BindingResult& result, const void* record,
                                        const BindingTypeDescriptor* descriptor,
                                        const BindingRegistry* registry);

}  // namespace tev
