// Builders that fill a descriptor right after its registration. The first registration of a name
// wins: a builder over a descriptor that already existed does nothing at all, so repeating a
// registration changes nothing. Builders write without the registry mutex; finish a descriptor
// before other threads may use it. A builder lives no longer than its registry.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "binding/binding_event_descriptor.h"
#include "binding/binding_function_descriptor.h"
#include "binding/binding_type_descriptor.h"

namespace tev {

// Everything add-field records about one field.
struct BindingFieldSpec {
  std::string_view name;
  std::string_view description;
  std::uint32_t offset = 0;
  const BindingTypeInfo* typeInfo = nullptr;
  BindingTypeIdentifier type;
  BindingTypeIdentifier secondType;  // copied only when its code is not kNone
  std::uint32_t flags = 0;
  bool optional = false;
  // Only for a converter that does what BindingTraits does for the field's type.
  BindingDirectField direct = BindingDirectField::kNone;
};

class BindingTypeBuilder {
 public:
  BindingTypeBuilder(BindingTypeDescriptor* descriptor, bool existed)
      : descriptor_(descriptor), existed_(existed) {}

  // True when the name was registered before; every operation below then does nothing.
  bool existed() const { return existed_; }
  const BindingTypeDescriptor& descriptor() const { return *descriptor_; }
  BindingRegistry& registry() const { return *descriptor_->registry; }

  // Appends one tag; an empty text is ignored.
  BindingTypeBuilder& addTag(std::string_view tag);
  // Appends the tags in order.
  BindingTypeBuilder& addTags(std::span<const String> tags);
  BindingTypeBuilder& addTags(std::initializer_list<std::string_view> tags);
  BindingTypeBuilder& setDescription(std::string_view description);
  BindingTypeBuilder& setNameSpace(std::string_view nameSpace);
  // Appends a field, taking ownership of `converter` (which is disposed of at once when the
  // builder skips).
  BindingTypeBuilder& addField(const BindingFieldSpec& spec, BindingFieldConverterPtr converter);
  // Inserts an enumerator, or replaces the value and texts of the one with that name.
  BindingTypeBuilder& addEnumerator(std::string_view name, std::int32_t value,
                                    std::string_view description = {});

 private:
  BindingTypeDescriptor* descriptor_;
  bool existed_;
};

class BindingEventBuilder {
 public:
  BindingEventBuilder(BindingEventDescriptor* descriptor, bool existed)
      : descriptor_(descriptor), existed_(existed) {}

  bool existed() const { return existed_; }
  const BindingEventDescriptor& descriptor() const { return *descriptor_; }

  BindingEventBuilder& addTag(std::string_view tag);
  BindingEventBuilder& addTags(std::span<const String> tags);
  BindingEventBuilder& addTags(std::initializer_list<std::string_view> tags);
  BindingEventBuilder& setDescription(std::string_view description);
  BindingEventBuilder& setNameSpace(std::string_view nameSpace);

 private:
  BindingEventDescriptor* descriptor_;
  bool existed_;
};

class BindingFunctionBuilder {
 public:
  BindingFunctionBuilder(BindingFunctionDescriptor* descriptor, bool existed)
      : descriptor_(descriptor), existed_(existed) {}

  bool existed() const { return existed_; }
  const BindingFunctionDescriptor& descriptor() const { return *descriptor_; }

  BindingFunctionBuilder& addTag(std::string_view tag);
  BindingFunctionBuilder& addTags(std::span<const String> tags);
  BindingFunctionBuilder& addTags(std::initializer_list<std::string_view> tags);
  BindingFunctionBuilder& setDescription(std::string_view description);
  BindingFunctionBuilder& setHelp(std::string_view help);
  BindingFunctionBuilder& setNameSpace(std::string_view nameSpace);
  BindingFunctionBuilder& setThreadSafe(bool threadSafe);
  BindingFunctionBuilder& setAsync(bool async);

 private:
  BindingFunctionDescriptor* descriptor_;
  bool existed_;
};

}  // namespace tev
