#include "binding/binding_conversion.h"

#include "binding/internal/conversion_steps.h"

namespace tev {

bool convertRecordToNative(BindingResult& result, const BindingProperty& value, void* record,
                           const BindingTypeDescriptor* descriptor, std::string_view path,
                           const BindingRegistry* registry) {
  const BindingConversionContext context{registry, descriptor, 0};
  binding_internal::recordFromValue(result, value, path, context, record);
  return result.ok();
}

bool convertRecordToValue(BindingResult& result, const void* record,
                          const BindingTypeDescriptor* descriptor,
                          const BindingRegistry* registry) {
  result.reset();
  const BindingConversionContext context{registry, descriptor, 0};
  String error;
  if (!binding_internal::recordToValue(result.value(), record, context, error)) result.fail(error);
  return result.ok();
}

}  // namespace tev
