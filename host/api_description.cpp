#include "host/api_description.h"

#include <array>

#include "host/endpoint_table.h"

namespace tev::devhost {
namespace {

// The records are packed: numbers are copied out (static_cast) before they are handed on by
// reference, which would otherwise bind to misaligned fields.

const char* text(const char* value) { return value != nullptr ? value : ""; }

nlohmann::json tagList(const char* const* tags, std::uint32_t count) {
  nlohmann::json out = nlohmann::json::array();
  for (std::uint32_t i = 0; tags != nullptr && i < count; ++i) out.push_back(text(tags[i]));
  return out;
}

nlohmann::json typeOf(std::uint32_t type, std::uint32_t element, const char* name) {
  nlohmann::json out = {{"type", builtinTypeName(type)}};
  if (element != 0) out["elementType"] = builtinTypeName(element);
  if (name != nullptr && *name != '\0') out["typeName"] = name;
  return out;
}

nlohmann::json describeFunction(const ApiFunctionRecord& function) {
  nlohmann::json arguments = nlohmann::json::array();
  for (std::uint32_t i = 0; function.arguments != nullptr && i < function.argumentCount; ++i) {
    const ApiArgumentRecord& argument = function.arguments[i];
    nlohmann::json entry = typeOf(argument.type, argument.elementType, argument.typeName);
    entry["name"] = text(argument.name);
    entry["description"] = text(argument.description);
    entry["optional"] = argument.optional != 0;
    arguments.push_back(std::move(entry));
  }
  nlohmann::json out = {
      {"name", text(function.name)},
      {"namespace", text(function.nameSpace)},
      {"description", text(function.description)},
      {"help", text(function.help)},
      {"returns", typeOf(function.returnType, function.returnElementType, function.returnTypeName)},
      {"arguments", std::move(arguments)},
      {"threadSafe", function.threadSafe != 0},
      {"tags", tagList(function.tags, function.tagCount)}};
  if (function.asyncTypeName != nullptr && *function.asyncTypeName != '\0') {
    out["asyncType"] = function.asyncTypeName;
  }
  return out;
}

const char* locationName(std::uint32_t code) {
  switch (code) {
    case 0:
      return "any";
    case 1:
      return "query";
    case 2:
      return "path";
    case 4:
      return "header";
    case 5:
      return "body";
    default:
      return "unknown";
  }
}

}  // namespace

const char* builtinTypeName(std::uint32_t code) {
  static constexpr std::array<const char*, 20> kNames = {
      "",       "bool",   "int8",   "uint8",  "int16",    "uint16", "int32",
      "uint32", "int64",  "uint64", "float",  "double",   "string", "object",
      "blob",   "vector", "enum",   "struct", "callback", "map"};
  return code < kNames.size() ? kNames[code] : "";
}

nlohmann::json describeApi(const PluginApiTable* table, const std::string& shortName) {
  nlohmann::json endpoints = nlohmann::json::array();
  nlohmann::json types = nlohmann::json::array();
  nlohmann::json events = nlohmann::json::array();
  for (std::uint32_t i = 0;
       table != nullptr && table->endpoints != nullptr && i < table->endpointCount; ++i) {
    const ApiEndpointEntry& entry = table->endpoints[i];
    nlohmann::json endpoint = describeFunction(entry.function);
    const std::uint32_t method = entry.method;
    endpoint["method"] = method == kMethodOther ? text(entry.methodText)
                         : method == kMethodAny ? "ANY"
                                                : methodText(method);
    // An endpoint without template is reached by its function's name.
    std::string path = text(entry.pathTemplate);
    if (path.empty()) path.append("/").append(text(entry.function.name));
    endpoint["path"] = std::move(path);
    endpoint["flag"] = static_cast<unsigned>(entry.flag);
    // One location per argument, in argument order.
    std::uint32_t index = 0;
    for (const ApiLocationRecord* location = entry.locations;
         location != nullptr && index < endpoint["arguments"].size();
         location = location->next, ++index) {
      endpoint["arguments"][index]["location"] = locationName(location->location);
    }
    nlohmann::json tagLists = nlohmann::json::array();
    for (std::uint32_t k = 0; entry.tagLists != nullptr && k < entry.tagListCount; ++k) {
      tagLists.push_back(tagList(entry.tagLists[k].tags, entry.tagLists[k].tagCount));
    }
    endpoint["tagLists"] = std::move(tagLists);
    endpoints.push_back(std::move(endpoint));
  }
  for (std::uint32_t i = 0; table != nullptr && table->types != nullptr && i < table->typeCount;
       ++i) {
    const ApiTypeRecord& type = table->types[i];
    nlohmann::json entry = {{"name", text(type.name)},
                            {"namespace", text(type.nameSpace)},
                            {"size", static_cast<std::uint32_t>(type.size)},
                            {"description", text(type.description)},
                            {"tags", tagList(type.tags, type.tagCount)}};
    if (type.fields != nullptr) {
      nlohmann::json fields = nlohmann::json::array();
      for (std::uint32_t k = 0; k < type.memberCount; ++k) {
        const ApiFieldRecord& field = type.fields[k];
        nlohmann::json f = typeOf(field.type, field.elementType, field.typeName);
        f["name"] = text(field.name);
        f["description"] = text(field.description);
        f["offset"] = static_cast<std::uint32_t>(field.offset);
        f["optional"] = field.optional != 0;
        fields.push_back(std::move(f));
      }
      entry["fields"] = std::move(fields);
    } else {
      nlohmann::json enumerators = nlohmann::json::array();
      for (std::uint32_t k = 0; type.enumerators != nullptr && k < type.memberCount; ++k) {
        const ApiEnumeratorRecord& enumerator = type.enumerators[k];
        enumerators.push_back({{"name", text(enumerator.name)},
                               {"description", text(enumerator.description)},
                               {"value", static_cast<std::int32_t>(enumerator.value)}});
      }
      entry["enumerators"] = std::move(enumerators);
    }
    types.push_back(std::move(entry));
  }
  for (std::uint32_t i = 0; table != nullptr && table->events != nullptr && i < table->eventCount;
       ++i) {
    const ApiEventRecord& event = table->events[i];
    events.push_back({{"name", text(event.name)},
                      {"namespace", text(event.nameSpace)},
                      {"dataType", text(event.dataTypeName)},
                      {"description", text(event.description)},
                      {"tags", tagList(event.tags, event.tagCount)}});
  }
  return {{"plugin", shortName},
          {"endpoints", std::move(endpoints)},
          {"types", std::move(types)},
          {"events", std::move(events)}};
}

}  // namespace tev::devhost
