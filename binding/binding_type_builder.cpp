#include "binding/binding_type_builder.h"

#include <algorithm>
#include <utility>

#include "binding/internal/fixed_text.h"

namespace tev {

namespace {

void appendTag(Vector<String>& tags, std::string_view tag) {
  if (!tag.empty()) tags.push_back(toString(tag));
}

}  // namespace

BindingTypeBuilder& BindingTypeBuilder::addTag(std::string_view tag) {
  if (!existed_) appendTag(descriptor_->tags, tag);
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::addTags(std::span<const String> tags) {
  if (!existed_) descriptor_->tags.insert(descriptor_->tags.end(), tags.begin(), tags.end());
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::addTags(std::initializer_list<std::string_view> tags) {
  if (!existed_) {
    for (const std::string_view tag : tags) descriptor_->tags.push_back(toString(tag));
  }
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::setDescription(std::string_view description) {
  if (!existed_) descriptor_->description = toString(description);
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::setNameSpace(std::string_view nameSpace) {
  if (!existed_) descriptor_->nameSpace = toString(nameSpace);
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::addField(const BindingFieldSpec& spec,
                                                 BindingFieldConverterPtr converter) {
  if (existed_) return *this;
  BindingFieldDescriptor field;
  field.name = toString(spec.name);
  field.nameHash = binding_internal::fnv1a32(spec.name);
  field.description = toString(spec.description);
  field.typeInfo = spec.typeInfo;
  field.offset = spec.offset;
  field.type = spec.type;
  if (spec.secondType.type != BindingBuiltinType::kNone) field.secondType = spec.secondType;
  field.flags = spec.flags;
  field.converter = std::move(converter);
  field.owner = descriptor_;
  field.optional = spec.optional ? 1 : 0;
  field.direct = spec.direct;
  descriptor_->fields.push_back(std::move(field));
  // Growing `fields` may have moved every name, so the views are taken afresh; a stable sort
  // keeps fields of the same name in registration order.
  Vector<BindingFieldName>& order = descriptor_->fieldsByName;
  order.resize(descriptor_->fields.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = {descriptor_->fields[i].name, i};
  std::stable_sort(
      order.begin(), order.end(),
      [](const BindingFieldName& a, const BindingFieldName& b) { return a.name < b.name; });
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::addEnumerator(std::string_view name, std::int32_t value,
                                                      std::string_view description) {
  if (existed_) return *this;
  auto found = descriptor_->enumerators.find(name);
  if (found == descriptor_->enumerators.end()) {
    found = descriptor_->enumerators.emplace(toString(name), BindingEnumerator{}).first;
  }
  found->second.value = value;
  found->second.name = toString(name);
  found->second.description = toString(description);
  return *this;
}

BindingEventBuilder& BindingEventBuilder::addTag(std::string_view tag) {
  if (!existed_) appendTag(descriptor_->tags, tag);
  return *this;
}

BindingEventBuilder& BindingEventBuilder::addTags(std::span<const String> tags) {
  if (!existed_) descriptor_->tags.insert(descriptor_->tags.end(), tags.begin(), tags.end());
  return *this;
}

BindingEventBuilder& BindingEventBuilder::addTags(std::initializer_list<std::string_view> tags) {
  if (!existed_) {
    for (const std::string_view tag : tags) descriptor_->tags.push_back(toString(tag));
  }
  return *this;
}

BindingEventBuilder& BindingEventBuilder::setDescription(std::string_view description) {
  if (!existed_) descriptor_->description = toString(description);
  return *this;
}

BindingEventBuilder& BindingEventBuilder::setNameSpace(std::string_view nameSpace) {
  if (!existed_) descriptor_->nameSpace = toString(nameSpace);
  return *this;
}

BindingFunctionBuilder& BindingFunctionBuilder::addTag(std::string_view tag) {
  if (!existed_) appendTag(descriptor_->tags, tag);
  return *this;
}

BindingFunctionBuilder& BindingFunctionBuilder::addTags(std::span<const String> tags) {
  if (!existed_) descriptor_->tags.insert(descriptor_->tags.end(), tags.begin(), tags.end());
  return *this;
}

BindingFunctionBuilder& BindingFunctionBuilder::addTags(
    std::initializer_list<std::string_view> tags) {
  if (!existed_) {
    for (const std::string_view tag : tags) descriptor_->tags.push_back(toString(tag));
  }
  return *this;
}

BindingFunctionBuilder& BindingFunctionBuilder::setDescription(std::string_view description) {
  if (!existed_) descriptor_->description = toString(description);
  return *this;
}

BindingFunctionBuilder& BindingFunctionBuilder::setHelp(std::string_view help) {
  if (!existed_) descriptor_->help = toString(help);
  return *this;
}

BindingFunctionBuilder& BindingFunctionBuilder::setNameSpace(std::string_view nameSpace) {
  if (!existed_) descriptor_->nameSpace = toString(nameSpace);
  return *this;
}

BindingFunctionBuilder& BindingFunctionBuilder::setThreadSafe(bool threadSafe) {
  if (!existed_) descriptor_->threadSafe = threadSafe;
  return *this;
}

BindingFunctionBuilder& BindingFunctionBuilder::setAsync(bool async) {
  if (!existed_) descriptor_->async = async;
  return *this;
}

}  // namespace tev
