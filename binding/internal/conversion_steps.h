// The non-template steps of the native conversion: scalar, text, enumeration and record
// conversions in both directions, with their messages. BindingTraits calls these; use the
// functions of binding/binding_conversion.h instead of calling them directly.
#pragma once

#include <cstdint>
#include <string_view>

#include "binding/binding_field_converter.h"
#include "binding/binding_property.h"
#include "binding/binding_result.h"
#include "platform/allocator.h"

namespace tev {

class BindingRegistry;
struct BindingTypeDescriptor;

namespace binding_internal {

// How the members of a record's last input matched its fields, for the records of one
// value-to-native conversion: bodies repeat the same keys in the same order record after record
// (the elements of a vector, a record nested in each of them), and the keys of one tree are
// texts of its arena that all members with that key share. A record whose members have the same
// key texts at the same addresses as last time takes the fields found then, with a comparison of
// addresses per member instead of a walk that compares names. The outermost record of a
// conversion keeps the memo on its stack, while the input tree does not change.
class MemberShapes {
 public:
  static constexpr std::size_t kRecords = 6;
  static constexpr std::size_t kMembers = 16;
  static constexpr std::uint16_t kNoField = 0xFFFF;

  struct Shape {
    const BindingTypeDescriptor* record;
    std::uint32_t count;  // members of the input, at most kMembers
    // The key texts by address: a text of the tree's arena lives at one address only, and
    // keeps it while the tree is unchanged, so the address alone says which text it is.
    const char* keys[kMembers];
    std::uint16_t fields[kMembers];  // the field each member matched, or kNoField
  };

  MemberShapes() = default;
  MemberShapes(const MemberShapes&) = delete;
  MemberShapes& operator=(const MemberShapes&) = delete;

  // The shape remembered for `record`, or null.
  Shape* find(const BindingTypeDescriptor* record) {
    for (std::uint32_t i = 0; i < used_; ++i) {
      if (shapes_[i].record == record) return &shapes_[i];
    }
    return nullptr;
  }
  // A shape to fill for `record`: its own, a free one, or the one remembered longest ago.
  Shape& claim(const BindingTypeDescriptor* record) {
    Shape* shape = find(record);
    if (shape == nullptr) {
      shape = used_ < kRecords ? &shapes_[used_++] : &shapes_[evict_++ % kRecords];
      shape->record = record;
    }
    return *shape;
  }
  // Forgets `record`'s shape, when its last input could not be remembered.
  void forget(const BindingTypeDescriptor* record) {
    if (Shape* shape = find(record)) shape->record = nullptr;
  }

 private:
  Shape shapes_[kRecords];  // the first `used_` are filled
  std::uint32_t used_ = 0;
  std::uint32_t evict_ = 0;
};

// Shared by every reader of values from outside: %1 the path, %2 the nesting limit.
inline constexpr const char* kInputTooDeepMessage =
    "Couldn't assign value to '%1' because the input is nested deeper than %2 levels.";

// Value to native. Each returns false, leaving the output alone, when `result` has already
// failed or fails now; on success it writes the output and returns true.
bool boolFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                   bool& output);
bool signedFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                     std::int64_t minimum, std::int64_t maximum, std::string_view typeName,
                     std::int64_t& output);
bool unsignedFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                       std::uint64_t maximum, std::string_view typeName, std::uint64_t& output);
bool floatingFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                       double maximum, std::string_view typeName, double& output);
// The text to store: the string itself or an enumerator's name (registry-owned), valid while
// `value` and the registry are unchanged.
bool stringFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                     const BindingRegistry* registry, std::string_view& output);
// `enumeration` may be null (the enumeration was not registered); `displayText` names it then.
bool enumFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                   const BindingTypeDescriptor* enumeration, std::string_view displayText,
                   std::int32_t& output);
void objectFromValue(BindingResult& result, const BindingProperty& value, BindingProperty& output);
// A record (context.descriptor, may be null) as a field, parameter or element: an empty input
// is "required".
void recordFromValue(BindingResult& result, const BindingProperty& value, std::string_view path,
                     const BindingConversionContext& context, void* output);
// The checks before a vector is filled: the input must be a collection and the vector must not
// sit deeper than the nesting limit. Fails `result` and returns false otherwise.
bool vectorInputUsable(BindingResult& result, const BindingProperty& value, std::string_view path,
                       const BindingConversionContext& context);

// Native to value. `target` is empty on entry; false with `error` set on failure.
[[nodiscard]] bool recordToValue(BindingProperty& target, const void* record,
                                 const BindingConversionContext& context, String& error);
// Whether a vector may be written at this depth; sets `error` when not.
[[nodiscard]] bool vectorOutputUsable(const BindingConversionContext& context, String& error);

// Whether an omit-empty member with this value is left out: empty, false, numerically zero,
// or of size 0.
bool isOmittable(const BindingProperty& value);

}  // namespace binding_internal
}  // namespace tev
