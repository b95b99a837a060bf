// The records of the "Full" API help: plain native records that the help builder fills from the
// registry's descriptors and converts to values through the registry, where they are registered
// as builtin types. Owned by whoever holds them.
#pragma once

#include <cstdint>

#include "binding/binding_type_info.h"
#include "platform/allocator.h"

namespace tev {

enum class BindingHelpFormat : std::int32_t {
  kFull = 1,
  kEpytext = 2,
};

struct BindingFullTypeIdentifier {
  String type;
  String elementType;
};

struct BindingFullArgumentHelp {
  String name;
  String description;
  BindingFullTypeIdentifier type;
  bool optional = false;
};

struct BindingFullFunctionHelp {
  String name;
  String nameSpace;
  Vector<BindingFullArgumentHelp> arguments;
  BindingFullTypeIdentifier returns;
  String description;
  String help;
  bool threadSafe = false;
  String async;
  Vector<String> tags;
};

struct BindingFullEnumValueHelp {
  String name;
  String description;
  std::int32_t value = 0;
};

struct BindingFullFieldHelp {
  String name;
  String description;
  std::uint32_t offset = 0;
  BindingFullTypeIdentifier type;
  bool optional = false;
};

struct BindingFullTypeHelp {
  String name;
  String nameSpace;
  std::uint32_t size = 0;
  String description;
  Vector<String> tags;
  Vector<BindingFullFieldHelp> fields;
  Vector<BindingFullEnumValueHelp> values;
};

struct BindingFullEventHelp {
  String name;
  String nameSpace;
  BindingFullTypeIdentifier type;
  String description;
  Vector<String> tags;
};

struct BindingFullApiHelp {
  Vector<BindingFullFunctionHelp> functions;
  Vector<BindingFullTypeHelp> types;
  Vector<BindingFullEventHelp> events;
};

}  // namespace tev

TEV_BINDING_TYPE(tev::BindingHelpFormat);
TEV_BINDING_TYPE(tev::BindingFullTypeIdentifier);
TEV_BINDING_TYPE(tev::BindingFullArgumentHelp);
TEV_BINDING_TYPE(tev::BindingFullFunctionHelp);
TEV_BINDING_TYPE(tev::BindingFullEnumValueHelp);
TEV_BINDING_TYPE(tev::BindingFullFieldHelp);
TEV_BINDING_TYPE(tev::BindingFullTypeHelp);
TEV_BINDING_TYPE(tev::BindingFullEventHelp);
TEV_BINDING_TYPE(tev::BindingFullApiHelp);
