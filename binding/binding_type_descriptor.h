// The descriptor of a registered record (its fields) or enumeration (its enumerators), with the
// field descriptors and enumerators it owns. Descriptors are created and owned by a
// BindingRegistry and stay at one address until it shuts down; hold plain pointers to them, never
// copies. A descriptor is filled by its registering code before anyone else reads it.
#pragma once

#include <cstdint>
#include <string_view>

#include "binding/binding_field_converter.h"
#include "binding/binding_type_identifier.h"
#include "binding/binding_type_info.h"
#include "platform/allocator.h"

namespace tev {

class BindingRegistry;

// Field flags.
// Native to value: leave the member out when its value is empty, false, zero or of size 0.
inline constexpr std::uint32_t kBindingFieldOmitEmpty = 1u << 0;
// Value to native: a missing (or null) member is an error.
inline constexpr std::uint32_t kBindingFieldRequired = 1u << 1;

struct BindingFieldDescriptor {
  String name;
  std::uint32_t nameHash = 0;  // FNV-1a of the name
  String description;
  const BindingTypeInfo* typeInfo = nullptr;  // of the field's native type
  std::uint32_t offset = 0;                   // bytes from the start of the native record
  BindingTypeIdentifier type;
  BindingTypeIdentifier secondType;  // all zero unless the registering code gave one
  std::uint32_t flags = 0;
  BindingFieldConverterPtr converter;
  const BindingTypeDescriptor* owner = nullptr;
  std::uint8_t optional = 0;  // 1 when the native field is an optional wrapper
  BindingDirectField direct = BindingDirectField::kNone;

  bool omitEmpty() const { return (flags & kBindingFieldOmitEmpty) != 0; }
  bool required() const { return (flags & kBindingFieldRequired) != 0; }
};

struct BindingEnumerator {
  std::int32_t value = 0;
  String name;
  String description;
};

struct BindingFieldName {
  std::string_view name;
  std::uint32_t index = 0;
};

// Orders texts as unsigned bytes, the shorter first on a common prefix; accepts string views.
struct BindingByteLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept { return a < b; }
};

struct BindingTypeDescriptor {
  std::uint32_t size = 0;  // of the native record or enumeration, in bytes
  bool isEnumeration = false;
  String name;  // the registry's key
  std::uint32_t identifier = 0;
  const BindingTypeInfo* typeInfo = nullptr;
  String nameSpace;  // empty for the builtin types
  String description;
  Vector<String> tags;                    // in the order added
  Vector<BindingFieldDescriptor> fields;  // records: in the order registered
  // The fields' names ordered as bytes with their indices into `fields`, kept by the builder so
  // that a structure's members (also in key order) are matched to fields in one merged walk.
  // The views point into `fields` and are renewed whenever a field is added.
  Vector<BindingFieldName> fieldsByName;
  OrderedMap<String, BindingEnumerator, BindingByteLess> enumerators;  // enumerations: by name
  BindingRegistry* registry = nullptr;

  // The enumerator named exactly `enumeratorName`, or null.
  const BindingEnumerator* findEnumerator(std::string_view enumeratorName) const;
  // The first enumerator in name order whose value is `value`, or null.
  const BindingEnumerator* findEnumeratorByValue(std::int32_t value) const;
  bool hasEnumeratorValue(std::int32_t value) const {
    return findEnumeratorByValue(value) != nullptr;
  }
  // The field named exactly `fieldName`, or null.
  const BindingFieldDescriptor* findField(std::string_view fieldName) const;
};

}  // namespace tev
