// The converter of one registered field: assigns the native field from a BindingProperty, makes a
// BindingProperty from it, and disposes of itself. A field descriptor owns its converter from
// registration until the registry shuts down; converters keep no state between calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/allocator.h"

namespace tev {

class BindingProperty;
class BindingRegistry;
class BindingResult;
struct BindingTypeDescriptor;

// What a conversion step needs besides the value: the registry (for enumerator names; may be
// null), the record or enumeration the converted type refers to (null when it has none or was
// not registered), and how many records and vectors enclose the step (see kMaxNestingDepth).
struct BindingConversionContext {
  const BindingRegistry* registry = nullptr;
  const BindingTypeDescriptor* descriptor = nullptr;
  std::uint32_t depth = 0;
};

class BindingFieldConverter {
 public:
  // Value to native. Does nothing when `result` has already failed; otherwise assigns the native
  // field at `field` from `value`, or fails `result` with a message naming `path`.
  virtual void toNative(BindingResult& result, const BindingProperty& value, void* field,
                        std::string_view path, const BindingConversionContext& context) const = 0;
  // Native to value. Writes the native field at `field` into `target` (a root or a child of any
  // tree). Returns false with the message in `error` when the field cannot be converted.
  [[nodiscard]] virtual bool toValue(BindingProperty& target, const void* field, String& error,
                                     const BindingConversionContext& context) const = 0;
  // Destroys the converter; it must not be used afterwards.
  virtual void dispose() noexcept = 0;

 protected:
  ~BindingFieldConverter() = default;
};

struct BindingFieldConverterDisposer {
  void operator()(BindingFieldConverter* converter) const noexcept {
    if (converter != nullptr) converter->dispose();
  }
};

using BindingFieldConverterPtr =
    std::unique_ptr<BindingFieldConverter, BindingFieldConverterDisposer>;

}  // namespace tev
