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

namespace binding_internal {
class MemberShapes;
}

// What a conversion step needs besides the value: the registry (for enumerator names; may be
// null), the record or enumeration the converted type refers to (null when it has none or was
// not registered), how many records and vectors enclose the step (see kMaxNestingDepth), and
// the memo in which the records of one value-to-native conversion remember how the members of
// their last input matched their fields (null until the outermost record makes one; steps pass
// it on to the steps inside, and only to those that convert parts of the same unchanged tree: a
// converter that converts a value of some other tree passes null).
struct BindingConversionContext {
  const BindingRegistry* registry = nullptr;
  const BindingTypeDescriptor* descriptor = nullptr;
  std::uint32_t depth = 0;
  binding_internal::MemberShapes* shapes = nullptr;
};

// The field types whose commonest inputs a record's conversion assigns itself, without the call
// through the field's converter: a bool from a bool; the 32- and 64-bit integers from a signed or
// unsigned number within their range; a tev::String, bare or optional, from a string. Every other
// input, and every failure, goes to the converter.
enum class BindingDirectField : std::uint8_t {
  kNone = 0,
  kBool,
  kInt32,
  kUint32,
  kInt64,
  kUint64,
  kString,
  kOptionalString,
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
