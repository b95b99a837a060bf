#include "binding/binding_help.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "binding/binding_conversion.h"
#include "binding/binding_registry.h"

namespace tev {

namespace {

using Type = BindingBuiltinType;

constexpr std::string_view kLineEnd = "\r\n";

template <typename Integer>
void appendDecimal(String& out, Integer value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

void appendTags(String& out, const Vector<String>& tags) {
  if (tags.empty()) return;
  out += "@tags: ";
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (i != 0) out += ',';
    out += tags[i];
  }
  out += kLineEnd;
}

void appendDescription(String& out, const String& description) {
  if (description.empty()) return;
  out += epytextEscape(description);
  out += kLineEnd;
  out += kLineEnd;
}

String referencedName(const BindingTypeIdentifier& type, std::string_view fallback) {
  return type.descriptor != nullptr ? type.descriptor->name : toString(fallback);
}

Vector<String> copyTags(const Vector<String>& tags) { return Vector<String>(tags); }

BindingFullTypeHelp typeHelpRecord(const BindingTypeDescriptor& type) {
  BindingFullTypeHelp record;
  record.name = type.name;
  record.nameSpace = type.nameSpace;
  record.size = type.size;
  record.description = type.description;
  record.tags = copyTags(type.tags);
  if (type.isEnumeration) {
    for (const auto& [name, enumerator] : type.enumerators) {
      record.values.push_back({enumerator.name, enumerator.description, enumerator.value});
    }
  } else {
    for (const BindingFieldDescriptor& field : type.fields) {
      record.fields.push_back({field.name, field.description, field.offset,
                               fullTypeIdentifier(field.type), field.optional != 0});
    }
  }
  return record;
}

BindingFullFunctionHelp functionHelpRecord(const BindingFunctionDescriptor& function) {
  BindingFullFunctionHelp record;
  record.name = function.name;
  record.nameSpace = function.nameSpace;
  for (const BindingFunctionArgument& argument : function.arguments) {
    record.arguments.push_back({argument.name, argument.description,
                                fullTypeIdentifier(argument.type), argument.optional});
  }
  record.returns = fullTypeIdentifier(function.returnType);
  record.description = function.description;
  record.help = function.help;
  record.threadSafe = function.threadSafe;
  if (function.async && function.returnType.descriptor != nullptr) {
    record.async = function.returnType.descriptor->name;
  }
  record.tags = copyTags(function.tags);
  return record;
}

BindingFullEventHelp eventHelpRecord(const BindingEventDescriptor& event) {
  BindingFullEventHelp record;
  record.name = event.name;
  record.nameSpace = event.nameSpace;
  if (event.dataType != nullptr) record.type.type = event.dataType->name;
  record.description = event.description;
  record.tags = copyTags(event.tags);
  return record;
}

// Appends `record` to `list` as a value of its registered help type.
template <typename Record>
bool appendRecord(BindingProperty& list, const Record& record, const BindingRegistry& registry,
                  String& error) {
  const BindingConversionContext context{
      &registry, registry.findType(bindingTypeInfo<Record>().identifier), 0};
  return BindingTraits<Record>::toValue(list.append(), record, error, context);
}

template <typename D>
void sortByName(Vector<const D*>& list) {
  std::sort(list.begin(), list.end(),
            [](const D* a, const D* b) { return std::string_view(a->name) < b->name; });
}

}  // namespace

String epytextEscape(std::string_view text) {
  String out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '-' && i == 0) {
      out += "E{-}";
    } else if (c == '{') {
      out += "E{lb}";
    } else if (c == '}') {
      out += "E{rb}";
    } else {
      out += c;
    }
  }
  return out;
}

BindingFullTypeIdentifier fullTypeIdentifier(const BindingTypeIdentifier& type) {
  switch (type.type) {
    case Type::kVector:
    case Type::kMap:
      return {toString(bindingBuiltinTypeName(type.type)), fullTypeIdentifier(type.element()).type};
    case Type::kEnum:
      return {referencedName(type, "enum"), {}};
    case Type::kStruct:
      return {referencedName(type, "struct"), {}};
    default:
      return {toString(bindingBuiltinTypeName(type.type)), {}};
  }
}

String epytextTypeText(const BindingTypeIdentifier& type) {
  const auto code = static_cast<std::uint32_t>(type.type);
  if (code >= 1 && code <= 13) return toString(bindingBuiltinTypeName(type.type));
  switch (type.type) {
    case Type::kBlob:
      return toString("bytearray");
    case Type::kVector:
      return toString("list[") + epytextTypeText(type.element()) + "]";
    case Type::kMap:
      return toString("dict[") + epytextTypeText(type.element()) + "]";
    case Type::kCallback:
      return toString("callback");
    case Type::kEnum:
    case Type::kStruct:
      return toString("L{") + (type.descriptor != nullptr ? type.descriptor->name : String()) + "}";
    default:
      return String();
  }
}

String epytextFunctionText(const BindingFunctionDescriptor& function) {
  String out;
  appendDescription(out, function.description);
  appendDescription(out, function.help);
  for (const BindingFunctionArgument& argument : function.arguments) {
    if (!argument.description.empty()) {
      out += "@param ";
      out += argument.name;
      out += ": ";
      if (argument.optional) out += "(optional) ";
      out += epytextEscape(argument.description);
      out += kLineEnd;
    }
    out += "@type ";
    out += argument.name;
    out += ": ";
    out += epytextTypeText(argument.type);
    out += kLineEnd;
  }
  if (function.returnType.type != Type::kNone) {
    out += "@rtype: ";
    out += epytextTypeText(function.returnType);
    out += kLineEnd;
  }
  appendTags(out, function.tags);
  if (function.threadSafe) {
    out += "@threadsafe: true";
    out += kLineEnd;
  }
  if (function.async) {
    out += "@async: ";
    out += epytextTypeText(function.returnType);
    out += kLineEnd;
  }
  return out;
}

String epytextTypeText(const BindingTypeDescriptor& type) {
  String out;
  appendDescription(out, type.description);
  if (!type.isEnumeration) {
    for (const BindingFieldDescriptor& field : type.fields) {
      out += "@ivar ";
      out += field.name;
      out += ": ";
      out += field.description;
      out += kLineEnd;
      out += "@type ";
      out += field.name;
      out += ": ";
      out += epytextTypeText(field.type);
      out += kLineEnd;
    }
    appendTags(out, type.tags);
    return out;
  }
  Vector<const BindingEnumerator*> byValue;
  for (const auto& [name, enumerator] : type.enumerators) byValue.push_back(&enumerator);
  // Stable, so enumerators sharing a value keep their name order.
  std::stable_sort(
      byValue.begin(), byValue.end(),
      [](const BindingEnumerator* a, const BindingEnumerator* b) { return a->value < b->value; });
  for (const BindingEnumerator* enumerator : byValue) {
    out += "@cvar ";
    out += enumerator->name;
    out += ": (";
    appendDecimal(out, enumerator->value);
    out += ')';
    if (!enumerator->description.empty()) {
      out += ' ';
      out += enumerator->description;
    }
    out += kLineEnd;
  }
  appendTags(out, type.tags);
  out += "@size: ";
  appendDecimal(out, type.size);
  out += kLineEnd;
  return out;
}

String epytextEventText(const BindingEventDescriptor& event) {
  String out = epytextEscape(event.description);
  out += kLineEnd;
  out += kLineEnd;
  appendTags(out, event.tags);
  return out;
}

bool buildBindingHelp(BindingResult& result, BindingHelpFormat format,
                      Vector<const BindingFunctionDescriptor*> functions,
                      Vector<const BindingTypeDescriptor*> types,
                      Vector<const BindingEventDescriptor*> events,
                      const BindingRegistry& registry) {
  result.reset();
  sortByName(functions);
  sortByName(types);
  sortByName(events);
  BindingProperty& target = result.value();
  target.makeStructure();
  // The members exist before any is filled, so an empty list leaves an empty member.
  BindingProperty* functionList = &target.member("functions");
  BindingProperty* typeList = &target.member("types");
  BindingProperty* eventList = &target.member("events");

  String error;
  bool converted = true;
  if (format == BindingHelpFormat::kFull) {
    for (const BindingFunctionDescriptor* function : functions) {
      if (converted)
        converted = appendRecord(*functionList, functionHelpRecord(*function), registry, error);
    }
    for (const BindingTypeDescriptor* type : types) {
      if (converted) converted = appendRecord(*typeList, typeHelpRecord(*type), registry, error);
    }
    for (const BindingEventDescriptor* event : events) {
      if (converted) converted = appendRecord(*eventList, eventHelpRecord(*event), registry, error);
    }
  } else if (format == BindingHelpFormat::kEpytext) {
    for (const BindingFunctionDescriptor* function : functions) {
      functionList->member(function->name).setString(epytextFunctionText(*function));
    }
    for (const BindingTypeDescriptor* type : types) {
      typeList->member(type->name).setString(epytextTypeText(*type));
    }
    for (const BindingEventDescriptor* event : events) {
      eventList->member(event->name).setString(epytextEventText(*event));
    }
  }
  if (!converted) result.fail(error);
  return result.ok();
}

bool buildBindingHelp(BindingResult& result, BindingHelpFormat format,
                      const BindingRegistry& registry) {
  return buildBindingHelp(result, format, registry.functionSnapshot(), registry.typeSnapshot(),
                          registry.eventSnapshot(), registry);
}

}  // namespace tev
