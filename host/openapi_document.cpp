#include "host/openapi_document.h"

#include <array>
#include <set>
#include <string_view>
#include <vector>

#include "host/endpoint_table.h"

namespace tev::devhost {
namespace {

using nlohmann::json;

// The builtin type codes of the table's records.
enum : std::uint32_t {
  kBool = 1,
  kInt8,
  kUInt8,
  kInt16,
  kUInt16,
  kInt32,
  kUInt32,
  kInt64,
  kUInt64,
  kFloat,
  kDouble,
  kString,
  kObject,
  kBlob,
  kVector,
  kEnum,
  kStruct,
  kCallback,
  kMap
};

// Argument location codes.
enum : std::uint32_t { kAnyLocation = 0, kQuery = 1, kPath = 2, kHeader = 4, kBody = 5 };

constexpr char kErrorSchema[] = "ErrorAnswer";
constexpr char kUpstreamSchema[] = "UpstreamAnswer";

// The records are packed: numbers are copied out before they are handed on by reference.

const char* text(const char* value) { return value != nullptr ? value : ""; }

std::string reference(const std::string& component) { return "#/components/schemas/" + component; }

json integer(const char* format, std::int64_t minimum, std::uint64_t maximum) {
  return {{"type", "integer"}, {"format", format}, {"minimum", minimum}, {"maximum", maximum}};
}

// A schema that also admits null, for optional fields and arguments.
json nullable(json schema) {
  if (schema.empty()) return schema;  // admits anything already
  if (schema.contains("type") && schema["type"].is_string()) {
    schema["type"] = json::array({schema["type"], "null"});
    return schema;
  }
  return {{"anyOf", json::array({std::move(schema), {{"type", "null"}}})}};
}

struct Placeholder {
  int kind = 1;  // 1 one segment, 2 rest of the path, 3 after "#"
  std::string name;
};

// The template with "{+name}" and "{#name}" written as "{name}", and its placeholders.
std::string openApiPath(std::string_view pathTemplate, std::vector<Placeholder>& placeholders) {
  std::string out;
  bool inside = false;
  Placeholder current;
  for (const char c : pathTemplate) {
    if (!inside) {
      if (c == '{') {
        inside = true;
        current = Placeholder{};
      } else {
        out.push_back(c);
      }
    } else if (c == '}') {
      out.append("{").append(current.name).append("}");
      placeholders.push_back(std::move(current));
      inside = false;
    } else if (current.name.empty() && current.kind == 1 && (c == '+' || c == '#')) {
      current.kind = c == '+' ? 2 : 3;
    } else {
      current.name.push_back(c);
    }
  }
  // An unclosed placeholder matches its text literally.
  if (inside) out.append("{").append(current.name);
  return out;
}

std::vector<std::string> operationMethods(std::uint32_t method) {
  switch (method) {
    case kMethodAny:
      return {"get", "post", "put", "patch", "delete"};
    case kMethodDelete:
      return {"delete"};
    case kMethodGet:
      return {"get"};
    case kMethodHead:
      return {"head"};
    case kMethodOptions:
      return {"options"};
    case kMethodPatch:
      return {"patch"};
    case kMethodPost:
      return {"post"};
    case kMethodPut:
      return {"put"};
    default:
      return {};
  }
}

class DocumentBuilder {
 public:
  DocumentBuilder(const PluginApiTable* table, const OpenApiSettings& settings)
      : table_(table), settings_(settings) {
    for (std::uint32_t i = 0;
         table_ != nullptr && table_->types != nullptr && i < table_->typeCount; ++i) {
      registered_.insert(schemaComponentName(table_->types[i].name));
    }
    // The host's own schemas step aside for registered types of the same name.
    while (registered_.count(errorSchema_) != 0) errorSchema_ += "_";
    while (registered_.count(upstreamSchema_) != 0) upstreamSchema_ += "_";
  }

  json build() {
    json paths = json::object();
    std::vector<std::string> unlisted;
    for (std::uint32_t i = 0;
         table_ != nullptr && table_->endpoints != nullptr && i < table_->endpointCount; ++i) {
      const ApiEndpointEntry& entry = table_->endpoints[i];
      const std::uint32_t method = entry.method;
      const std::string name = text(entry.function.name);
      std::string pathTemplate = text(entry.pathTemplate);
      if (pathTemplate.empty()) pathTemplate = "/" + name;
      const std::vector<std::string> methods = operationMethods(method);
      if (methods.empty()) {
        unlisted.push_back(std::string(text(entry.methodText)) + " " + pathTemplate);
        continue;
      }
      std::vector<Placeholder> placeholders;
      const std::string path = openApiPath(pathTemplate, placeholders);
      json& item = paths[path];
      bool first = true;
      for (const std::string& verb : methods) {
        // The host routes a method and path to the first endpoint that has them.
        if (item.contains(verb)) continue;
        json operation = describeOperation(entry, placeholders, pathTemplate);
        if (!first) {
          operation["operationId"] = name + static_cast<char>(verb[0] - 'a' + 'A') + verb.substr(1);
        }
        first = false;
        item[verb] = std::move(operation);
      }
      if (item.empty()) paths.erase(path);
    }

    json tags = json::array();
    for (const std::string& tag : tags_) {
      tags.push_back({{"name", tag},
                      {"description", "Endpoints of " + settings_.pluginName + " tagged \"" + tag +
                                          "\" when they were registered."}});
    }
    std::string description = "The local API of the plugin " + settings_.pluginName +
                              " as the development host serves it, derived from the API table "
                              "the plugin handed over when it was loaded.";
    if (!unlisted.empty()) {
      description += " Not listed, since their methods have no place here:";
      for (const std::string& endpoint : unlisted) description += " " + endpoint + ";";
      description.back() = '.';
    }
    return {
        {"openapi", "3.1.0"},
        {"info",
         {{"title", settings_.pluginName + " local API"},
          {"version", settings_.productVersion},
          {"description", std::move(description)}}},
        {"servers",
         json::array({{{"url", settings_.serverUrl}, {"description", "This development host"}}})},
        // The local API asks callers for no credentials: the plugin holds the player's.
        {"security", json::array()},
        {"tags", std::move(tags)},
        {"paths", std::move(paths)},
        {"components", {{"schemas", components()}}}};
  }

 private:
  // The schema of a value of builtin type `type` (element type `element`, registered type
  // `typeName` for struct, enum, vector and map).
  json schemaFor(std::uint32_t type, std::uint32_t element, const char* typeName) const {
    const std::string named = text(typeName);
    switch (type) {
      case kBool:
        return {{"type", "boolean"}};
      case kInt8:
        return integer("int8", -128, 127);
      case kUInt8:
        return integer("uint8", 0, 255);
      case kInt16:
        return integer("int16", -32768, 32767);
      case kUInt16:
        return integer("uint16", 0, 65535);
      case kInt32:
        return integer("int32", -2147483648LL, 2147483647);
      case kUInt32:
        return integer("uint32", 0, 4294967295u);
      case kInt64:
        return {{"type", "integer"}, {"format", "int64"}};
      case kUInt64:
        return {{"type", "integer"}, {"format", "uint64"}, {"minimum", 0}};
      case kFloat:
        return {{"type", "number"}, {"format", "float"}};
      case kDouble:
        return {{"type", "number"}, {"format", "double"}};
      case kString:
        return {{"type", "string"}};
      case kBlob:
        return {{"type", "string"}, {"contentEncoding", "base64"}};
      case kVector: {
        const std::uint32_t inner = element == kVector || element == kMap ? 0 : element;
        return {{"type", "array"}, {"items", schemaFor(inner, 0, typeName)}};
      }
      case kMap: {
        const std::uint32_t inner = element == kVector || element == kMap ? 0 : element;
        return {{"type", "object"}, {"additionalProperties", schemaFor(inner, 0, typeName)}};
      }
      case kEnum:
      case kStruct:
        if (registered_.count(schemaComponentName(named.c_str())) != 0)
          return {{"$ref", reference(schemaComponentName(named.c_str()))}};
        if (named.empty())
          return type == kEnum ? json{{"type", "string"}} : json{{"type", "object"}};
        return {
            {"description", "A value of the type " + named + ", which the plugin did not list."}};
      case kObject:
        return {{"description", "Any JSON value."}};
      default:
        // Callbacks and unknown codes have no JSON form of their own.
        return json::object();
    }
  }

  json describeOperation(const ApiEndpointEntry& entry,
                         const std::vector<Placeholder>& placeholders,
                         const std::string& pathTemplate) {
    const ApiFunctionRecord& function = entry.function;
    const std::string name = text(function.name);
    const std::string method = entry.method == kMethodAny ? "ANY" : methodText(entry.method);
    json operation = {{"operationId", name}};
    const std::string summary = text(function.description);
    operation["summary"] = summary.empty() ? method + " " + pathTemplate : summary;
    if (*text(function.help) != '\0') operation["description"] = text(function.help);

    std::set<std::string> tags;
    for (std::uint32_t i = 0; function.tags != nullptr && i < function.tagCount; ++i) {
      if (*text(function.tags[i]) != '\0') tags.insert(function.tags[i]);
    }
    for (std::uint32_t k = 0; entry.tagLists != nullptr && k < entry.tagListCount; ++k) {
      const ApiTagList& list = entry.tagLists[k];
      for (std::uint32_t i = 0; list.tags != nullptr && i < list.tagCount; ++i) {
        if (*text(list.tags[i]) != '\0') tags.insert(list.tags[i]);
      }
    }
    if (tags.empty()) tags.insert(settings_.pluginName);
    tags_.insert(tags.begin(), tags.end());
    operation["tags"] = tags;

    // One location per argument, in argument order; a missing one is "any".
    std::vector<std::uint32_t> locations;
    for (const ApiLocationRecord* location = entry.locations;
         location != nullptr && locations.size() < function.argumentCount;
         location = location->next) {
      locations.push_back(location->location);
    }
    locations.resize(function.argumentCount, kAnyLocation);

    json parameters = json::array();
    std::set<std::string> inPath;
    for (const Placeholder& placeholder : placeholders) {
      if (!inPath.insert(placeholder.name).second) continue;
      json parameter = {{"name", placeholder.name}, {"in", "path"}, {"required", true}};
      const ApiArgumentRecord* argument = findArgument(function, placeholder.name);
      json schema = argument != nullptr
                        ? schemaFor(argument->type, argument->elementType, argument->typeName)
                        : json{{"type", "string"}};
      std::string description = argument != nullptr ? text(argument->description) : "";
      if (placeholder.kind != 1) {
        if (!description.empty()) description += " ";
        description += placeholder.kind == 2
                           ? "The rest of the path: may contain \"/\"."
                           : "Everything after \"#\" in the target: may contain \"/\".";
      }
      if (!description.empty()) parameter["description"] = description;
      parameter["schema"] = std::move(schema);
      parameters.push_back(std::move(parameter));
    }

    const ApiArgumentRecord* bodyArgument = nullptr;
    for (std::uint32_t i = 0; function.arguments != nullptr && i < function.argumentCount; ++i) {
      const ApiArgumentRecord& argument = function.arguments[i];
      const std::string argumentName = text(argument.name);
      const std::uint32_t location = locations[i];
      if (location == kBody) {
        if (bodyArgument == nullptr) bodyArgument = &argument;
        continue;
      }
      if (inPath.count(argumentName) != 0 && (location == kAnyLocation || location == kPath)) {
        continue;
      }
      // A path argument without placeholder can never be given; other codes bind nothing.
      if (location != kAnyLocation && location != kQuery && location != kHeader) continue;
      parameters.push_back(describeParameter(argument, location));
    }
    if (!parameters.empty()) operation["parameters"] = std::move(parameters);

    if (bodyArgument != nullptr) {
      json schema =
          schemaFor(bodyArgument->type, bodyArgument->elementType, bodyArgument->typeName);
      json content = json::object();
      for (const char* type : kBodyContentTypes) content[type] = {{"schema", schema}};
      std::string description = text(bodyArgument->description);
      if (description.empty()) {
        description = std::string("The argument ") + text(bodyArgument->name) +
                      ", decoded by the body's content type.";
      }
      operation["requestBody"] = {{"description", std::move(description)},
                                  {"required", bodyArgument->optional == 0},
                                  {"content", std::move(content)}};
    }

    operation["responses"] = describeResponses(function);
    return operation;
  }

  static const ApiArgumentRecord* findArgument(const ApiFunctionRecord& function,
                                               const std::string& name) {
    for (std::uint32_t i = 0; function.arguments != nullptr && i < function.argumentCount; ++i) {
      if (name == text(function.arguments[i].name)) return &function.arguments[i];
    }
    return nullptr;
  }

  json describeParameter(const ApiArgumentRecord& argument, std::uint32_t location) const {
    const std::uint32_t type = argument.type;
    json schema = schemaFor(type, argument.elementType, argument.typeName);
    const bool optional = argument.optional != 0;
    if (optional) schema = nullable(std::move(schema));
    std::string description = text(argument.description);
    const auto add = [&description](const std::string& sentence) {
      if (!description.empty()) description += " ";
      description += sentence;
    };
    if (location == kAnyLocation) {
      add("Also accepted as a request header of the same name in lower case or as a path "
          "placeholder: bound from the header, the path and the query, in that order.");
    }
    if (type == kBool) add("Given without a value, it is true; not given at all, false.");
    json parameter = {{"name", text(argument.name)},
                      {"in", location == kHeader ? "header" : "query"},
                      // A boolean that is not given is false; anything else must be given.
                      {"required", !optional && type != kBool}};
    if (type == kObject || type == kVector || type == kStruct || type == kMap) {
      add("Written as JSON (or with dotted names for its members and elements).");
      parameter["content"] = {{"application/json", {{"schema", std::move(schema)}}}};
    } else {
      parameter["schema"] = std::move(schema);
    }
    if (!description.empty()) parameter["description"] = std::move(description);
    return parameter;
  }

  json describeResponses(const ApiFunctionRecord& function) const {
    const std::uint32_t returnType = function.returnType;
    const std::uint32_t returnElement = function.returnElementType;
    // A generic result is whatever the plugin passes on, typically an upstream service's body.
    const bool passesOn = returnType == kObject;
    const json error = {{"$ref", reference(errorSchema_)}};
    const json upstream = {{"$ref", reference(upstreamSchema_)}};
    const auto answer = [&](std::string description, const json& schema) {
      return json{{"description", std::move(description)},
                  {"content", {{"application/json", {{"schema", schema}}}}}};
    };
    const auto errorOrUpstream = [&](std::string description, int status) {
      if (!passesOn) return answer(std::move(description), error);
      description += " Or the upstream service's own " + std::to_string(status) +
                     " answer, passed on with its body.";
      return answer(std::move(description), json{{"anyOf", json::array({error, upstream})}});
    };
    json schema = schemaFor(returnType, returnElement, function.returnTypeName);
    json responses = {
        {"200",
         answer(passesOn ? "The result: what the upstream service answered, passed on unchanged."
                         : "The result.",
                std::move(schema))},
        {"400",
         errorOrUpstream("The request was refused before the call: a body or argument that could "
                         "not be decoded or converted, an unsupported body content type, an "
                         "argument the function does not take or given where it is not accepted.",
                         400)},
        {"404",
         errorOrUpstream("No function for this method and path (\"Invalid function\"), or the "
                         "plugin refused the call, for example while the feature is disabled (the "
                         "purchase widget answers \"purchase widget not enabled\").",
                         404)},
        {"500", errorOrUpstream("The plugin failed the call, for example when the upstream "
                                "service could not be reached, answered with a 1xx or 3xx status "
                                "or a body that could not be decoded.",
                                500)}};
    if (passesOn) {
      responses["4XX"] = answer(
          "The upstream service's own 4xx answer (such as 401 without a valid session, 402 or "
          "409), passed on with its status and body.",
          upstream);
      responses["5XX"] = answer(
          "The upstream service's own 5xx answer, passed on with its status and body.", upstream);
    }
    return responses;
  }

  json components() {
    json schemas = json::object();
    for (std::uint32_t i = 0;
         table_ != nullptr && table_->types != nullptr && i < table_->typeCount; ++i) {
      const ApiTypeRecord& type = table_->types[i];
      schemas[schemaComponentName(type.name)] = describeType(type);
    }
    schemas[errorSchema_] = {{"type", "object"},
                             {"description", "An error answered by the plugin or the host."},
                             {"properties", {{"error", {{"type", "string"}}}}},
                             {"required", json::array({"error"})}};
    schemas[upstreamSchema_] = {
        {"description",
         "An upstream service's answer as the plugin passes it on: its JSON body unchanged, its "
         "text as a JSON string when it was not JSON, null when it was empty."}};
    return schemas;
  }

  json describeType(const ApiTypeRecord& type) const {
    std::string description = text(type.description);
    const std::uint32_t count = type.memberCount;
    json schema;
    if (type.fields != nullptr) {
      json properties = json::object();
      for (std::uint32_t k = 0; k < count; ++k) {
        const ApiFieldRecord& field = type.fields[k];
        json property = schemaFor(field.type, field.elementType, field.typeName);
        if (field.optional != 0) property = nullable(std::move(property));
        if (*text(field.description) != '\0') property["description"] = text(field.description);
        properties[text(field.name)] = std::move(property);
      }
      schema = {{"type", "object"}, {"properties", std::move(properties)}};
    } else if (type.enumerators != nullptr && count != 0) {
      json names = json::array();
      std::string values;
      for (std::uint32_t k = 0; k < count; ++k) {
        const ApiEnumeratorRecord& enumerator = type.enumerators[k];
        names.push_back(text(enumerator.name));
        values += std::string(values.empty() ? "" : ", ") + text(enumerator.name) + " = " +
                  std::to_string(static_cast<std::int32_t>(enumerator.value));
      }
      schema = {{"type", "string"}, {"enum", std::move(names)}};
      if (!description.empty()) description += " ";
      description += "Written as the enumerator's name; its number is also accepted as input (" +
                     values + ").";
    } else {
      if (!description.empty()) description += " ";
      description += "Registered without fields or enumerators.";
      schema = json::object();
    }
    if (!description.empty()) schema["description"] = std::move(description);
    return schema;
  }

  const PluginApiTable* table_;
  const OpenApiSettings& settings_;
  std::set<std::string> registered_;
  std::set<std::string> tags_;
  std::string errorSchema_ = kErrorSchema;
  std::string upstreamSchema_ = kUpstreamSchema;
};

}  // namespace

std::string schemaComponentName(const char* typeName) {
  std::string out = text(typeName);
  for (char& c : out) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == '_';
    if (!kept) c = '_';
  }
  if (out.empty()) out = "_";
  return out;
}

nlohmann::json openApiDocument(const PluginApiTable* table, const OpenApiSettings& settings) {
  return DocumentBuilder(table, settings).build();
}

}  // namespace tev::devhost
