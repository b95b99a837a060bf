// The OpenAPI document built from a small API table written by hand: operations and their
// parameters, bodies and answers, and the schemas of registered types.
#include "host/openapi_document.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tev::devhost {
namespace {

using nlohmann::json;

const char* const kTags[] = {"items", ""};
const char* const kListTags[] = {"catalogue"};

// A table with four endpoints and three registered types; the records point into this object.
class FakeTable {
 public:
  FakeTable() {
    // Item {id int32, count uint64, note optional string, kind Kind, labels vector of string,
    //       parent optional Item, level uint8, weight double, blob blob}
    addField("id", 6, 0, "");
    addField("count", 9, 0, "");
    addField("note", 12, 0, "", true);
    addField("kind", 16, 0, "Kind");
    addField("labels", 15, 12, "");
    addField("parent", 17, 0, "Item", true);
    addField("level", 3, 0, "");
    addField("weight", 11, 0, "");
    addField("data", 14, 0, "");
    enumerators_[0] = ApiEnumeratorRecord{};
    enumerators_[0].name = "FIRST";
    enumerators_[0].description = "";
    enumerators_[0].value = 0;
    enumerators_[1] = ApiEnumeratorRecord{};
    enumerators_[1].name = "SECOND";
    enumerators_[1].description = "";
    enumerators_[1].value = -7;

    types_[0] = type("Item", "An item.");
    types_[0].fields = fields_.data();
    types_[0].memberCount = static_cast<std::uint32_t>(fields_.size());
    types_[1] = type("Kind", "");
    types_[1].enumerators = enumerators_;
    types_[1].memberCount = 2;
    types_[2] = type("Nothing", "");

    // GET /items/{id}/files/{+rest}: id (any, in the template), rest (path), verbose (query),
    // x-token (header), filter (any, not in the template), returns Item.
    ApiEndpointEntry& get = endpoint(0, "GetItemsByIdFilesByRest", 2, "/items/{id}/files/{+rest}");
    get.function.returnType = 17;
    get.function.returnTypeName = "Item";
    get.function.tags = kTags;
    get.function.tagCount = 2;
    lists_[0] = ApiTagList{};
    lists_[0].tags = kListTags;
    lists_[0].tagCount = 1;
    get.tagLists = lists_;
    get.tagListCount = 1;
    arguments(get, {{"id", 6, 0, "", 0},
                    {"rest", 12, 0, "", 2},
                    {"verbose", 1, 0, "", 1},
                    {"x-token", 12, 0, "", 4},
                    {"filter", 17, 0, "Item", 0}});
    // POST /items with a body, returning a generic value.
    ApiEndpointEntry& post = endpoint(1, "PostItems", 6, "/items");
    post.function.returnType = 13;
    post.function.description = "Adds items.";
    arguments(post, {{"request", 17, 0, "Item", 5}});
    // A method the document cannot hold, and an endpoint for any method without template.
    ApiEndpointEntry& purge = endpoint(2, "PurgeItems", 8, "/items");
    purge.methodText = "PURGE";
    endpoint(3, "Ping", 0, "").function.returnType = 12;

    table_.endpoints = endpoints_;
    table_.endpointCount = 4;
    table_.types = types_;
    table_.typeCount = 3;
  }
  const PluginApiTable* table() const { return &table_; }

 private:
  struct Argument {
    const char* name;
    std::uint32_t type;
    std::uint32_t element;
    const char* typeName;
    std::uint32_t location;
  };

  void addField(const char* name, std::uint32_t code, std::uint32_t element, const char* typeName,
                bool optional = false) {
    ApiFieldRecord field{};
    field.name = name;
    field.description = "";
    field.type = code;
    field.elementType = element;
    field.typeName = typeName;
    field.optional = optional ? 1 : 0;
    fields_.push_back(field);
  }
  static ApiTypeRecord type(const char* name, const char* description) {
    ApiTypeRecord record{};
    record.name = name;
    record.nameSpace = "";
    record.description = description;
    return record;
  }
  ApiEndpointEntry& endpoint(int index, const char* name, std::uint32_t method,
                             const char* pathTemplate) {
    ApiEndpointEntry& entry = endpoints_[index];
    entry = ApiEndpointEntry{};
    entry.function.name = name;
    entry.function.nameSpace = "";
    entry.function.description = "";
    entry.function.help = "";
    entry.function.returnTypeName = "";
    entry.function.asyncTypeName = "";
    entry.pathTemplate = pathTemplate;
    entry.method = method;
    entry.methodText = "";
    return entry;
  }
  void arguments(ApiEndpointEntry& entry, const std::vector<Argument>& list) {
    std::vector<ApiArgumentRecord>& records = argumentStore_.emplace_back();
    std::vector<ApiLocationRecord>& locations = locationStore_.emplace_back();
    for (const Argument& argument : list) {
      ApiArgumentRecord record{};
      record.name = argument.name;
      record.description = "";
      record.type = argument.type;
      record.elementType = argument.element;
      record.typeName = argument.typeName;
      records.push_back(record);
      ApiLocationRecord location{};
      location.location = argument.location;
      locations.push_back(location);
    }
    for (std::size_t i = 0; i + 1 < locations.size(); ++i) locations[i].next = &locations[i + 1];
    entry.function.arguments = records.data();
    entry.function.argumentCount = static_cast<std::uint32_t>(records.size());
    entry.locations = locations.data();
  }

  std::vector<ApiFieldRecord> fields_;
  ApiEnumeratorRecord enumerators_[2];
  ApiTypeRecord types_[3];
  ApiTagList lists_[1];
  ApiEndpointEntry endpoints_[4];
  std::deque<std::vector<ApiArgumentRecord>> argumentStore_;
  std::deque<std::vector<ApiLocationRecord>> locationStore_;
  PluginApiTable table_{};
};

json build(const PluginApiTable* table) {
  return openApiDocument(table, {"fake-plugin", "2.5.1", "http://127.0.0.1:8400"});
}

json* parameter(json& operation, const std::string& name) {
  for (json& entry : operation["parameters"]) {
    if (entry["name"] == name) return &entry;
  }
  return nullptr;
}

// Every "$ref" anywhere in `value`.
void collectReferences(json& value, std::vector<std::string>& out) {
  if (value.is_object()) {
    for (const auto& [key, member] : value.items()) {
      if (key == "$ref" && member.is_string()) out.push_back(member.get<std::string>());
      collectReferences(member, out);
    }
  } else if (value.is_array()) {
    for (json& member : value) collectReferences(member, out);
  }
}

TEST(OpenApiDocument, NamesTheProductVersionTheServerAndResolvesEveryReference) {
  const FakeTable fake;
  json document = build(fake.table());
  EXPECT_EQ(document["openapi"], "3.1.0");
  EXPECT_EQ(document["info"]["version"], "2.5.1");
  EXPECT_EQ(document["servers"][0]["url"], "http://127.0.0.1:8400");
  EXPECT_EQ(document["security"], json::array());  // callers need no credentials
  // The custom method cannot be an operation; the document says so instead of dropping it.
  EXPECT_NE(document["info"]["description"].get<std::string>().find("PURGE /items"),
            std::string::npos);

  std::vector<std::string> references;
  collectReferences(document, references);
  EXPECT_FALSE(references.empty());
  for (const std::string& reference : references) {
    const std::string prefix = "#/components/schemas/";
    ASSERT_EQ(reference.rfind(prefix, 0), 0u) << reference;
    EXPECT_TRUE(document["components"]["schemas"].contains(reference.substr(prefix.size())))
        << reference;
  }

  // Operation ids are unique, also for an endpoint that answers every method; tags are listed.
  std::set<std::string> ids;
  std::set<std::string> usedTags;
  int operations = 0;
  for (const auto& [path, item] : document["paths"].items()) {
    for (const auto& [method, operation] : item.items()) {
      ++operations;
      EXPECT_TRUE(ids.insert(operation["operationId"].get<std::string>()).second) << path;
      EXPECT_FALSE(operation["summary"].get<std::string>().empty());
      for (json& tag : operation["tags"]) usedTags.insert(tag.get<std::string>());
    }
  }
  EXPECT_EQ(operations, 2 + 5);
  EXPECT_EQ(document["paths"]["/Ping"]["get"]["operationId"], "Ping");
  EXPECT_EQ(document["paths"]["/Ping"]["post"]["operationId"], "PingPost");
  std::set<std::string> listedTags;
  for (json& tag : document["tags"]) listedTags.insert(tag["name"].get<std::string>());
  EXPECT_EQ(usedTags, listedTags);
}

TEST(OpenApiDocument, ArgumentLocationsBecomeParametersWhereTheRouterReadsThem) {
  const FakeTable fake;
  json document = build(fake.table());
  ASSERT_TRUE(document["paths"].contains("/items/{id}/files/{rest}"));
  json& get = document["paths"]["/items/{id}/files/{rest}"]["get"];
  EXPECT_EQ(get["operationId"], "GetItemsByIdFilesByRest");
  EXPECT_EQ(get["tags"], json::array({"catalogue", "items"}));

  json* id = parameter(get, "id");
  ASSERT_NE(id, nullptr);
  EXPECT_EQ((*id)["in"], "path");
  EXPECT_EQ((*id)["required"], true);
  EXPECT_EQ((*id)["schema"]["format"], "int32");
  json* rest = parameter(get, "rest");
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ((*rest)["in"], "path");
  EXPECT_NE((*rest)["description"].get<std::string>().find("\"/\""), std::string::npos);

  json* verbose = parameter(get, "verbose");
  ASSERT_NE(verbose, nullptr);
  EXPECT_EQ((*verbose)["in"], "query");
  EXPECT_EQ((*verbose)["required"], false);  // a missing boolean is false
  json* token = parameter(get, "x-token");
  ASSERT_NE(token, nullptr);
  EXPECT_EQ((*token)["in"], "header");
  EXPECT_EQ((*token)["required"], true);

  // "Any" outside the template: a query parameter saying where else it is read, as JSON.
  json* filter = parameter(get, "filter");
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ((*filter)["in"], "query");
  EXPECT_NE((*filter)["description"].get<std::string>().find("header"), std::string::npos);
  EXPECT_EQ((*filter)["content"]["application/json"]["schema"]["$ref"],
            "#/components/schemas/Item");
  EXPECT_EQ(get["parameters"].size(), 5u);
  EXPECT_FALSE(get.contains("requestBody"));
}

TEST(OpenApiDocument, BodiesAndAnswersFollowTheFunctionsTypes) {
  const FakeTable fake;
  json document = build(fake.table());
  json& post = document["paths"]["/items"]["post"];
  EXPECT_EQ(post["summary"], "Adds items.");
  EXPECT_FALSE(post.contains("parameters"));
  json& body = post["requestBody"];
  EXPECT_EQ(body["required"], true);
  for (const char* type : {"application/json", "application/vnd.api+json", "application/x-msgpack",
                           "application/x-yaml"}) {
    EXPECT_EQ(body["content"][type]["schema"]["$ref"], "#/components/schemas/Item") << type;
  }
  // A generic result passes an upstream answer on: free-form success, and the upstream's own
  // 4xx and 5xx beside the plugin's errors.
  json& passed = post["responses"];
  EXPECT_FALSE(passed["200"]["content"]["application/json"]["schema"].contains("type"));
  EXPECT_EQ(passed["400"]["content"]["application/json"]["schema"]["anyOf"].size(), 2u);
  EXPECT_EQ(passed["4XX"]["content"]["application/json"]["schema"]["$ref"],
            "#/components/schemas/UpstreamAnswer");
  EXPECT_TRUE(passed.contains("5XX"));

  json& typed = document["paths"]["/items/{id}/files/{rest}"]["get"]["responses"];
  EXPECT_EQ(typed["200"]["content"]["application/json"]["schema"]["$ref"],
            "#/components/schemas/Item");
  for (const char* status : {"400", "404", "500"}) {
    EXPECT_EQ(typed[status]["content"]["application/json"]["schema"]["$ref"],
              "#/components/schemas/ErrorAnswer")
        << status;
  }
  EXPECT_FALSE(typed.contains("4XX"));
  json& error = document["components"]["schemas"]["ErrorAnswer"];
  EXPECT_EQ(error["required"], json::array({"error"}));
  EXPECT_EQ(error["properties"]["error"]["type"], "string");
}

TEST(OpenApiDocument, RegisteredTypesBecomeSchemasWithFormatsRangesAndNulls) {
  const FakeTable fake;
  json schemas = build(fake.table())["components"]["schemas"];
  json& item = schemas["Item"];
  EXPECT_EQ(item["type"], "object");
  EXPECT_EQ(item["description"], "An item.");
  json& fields = item["properties"];
  EXPECT_EQ(fields["id"], json({{"type", "integer"},
                                {"format", "int32"},
                                {"minimum", -2147483648LL},
                                {"maximum", 2147483647}}));
  EXPECT_EQ(fields["count"]["format"], "uint64");
  EXPECT_EQ(fields["count"]["minimum"], 0);
  EXPECT_EQ(fields["level"]["maximum"], 255);
  EXPECT_EQ(fields["weight"]["format"], "double");
  EXPECT_EQ(fields["data"]["contentEncoding"], "base64");
  EXPECT_EQ(fields["labels"], json({{"type", "array"}, {"items", {{"type", "string"}}}}));
  EXPECT_EQ(fields["kind"]["$ref"], "#/components/schemas/Kind");
  // Optional fields admit null, also when they refer to a registered type.
  EXPECT_EQ(fields["note"]["type"], json::array({"string", "null"}));
  EXPECT_EQ(fields["parent"]["anyOf"][1], json({{"type", "null"}}));
  EXPECT_EQ(fields["parent"]["anyOf"][0]["$ref"], "#/components/schemas/Item");
  EXPECT_FALSE(item.contains("required"));

  json& kind = schemas["Kind"];
  EXPECT_EQ(kind["enum"], json::array({"FIRST", "SECOND"}));
  EXPECT_NE(kind["description"].get<std::string>().find("SECOND = -7"), std::string::npos);
  EXPECT_FALSE(schemas["Nothing"].contains("type"));
}

TEST(OpenApiDocument, OddTablesGiveAValidDocumentNotACrash) {
  json empty = build(nullptr);
  EXPECT_TRUE(empty["paths"].empty());
  EXPECT_TRUE(empty["components"]["schemas"].contains("ErrorAnswer"));

  // A registered type named like the host's own schema keeps its name; the host's moves aside.
  ApiTypeRecord clash{};
  clash.name = "Error Answer/";
  clash.nameSpace = "";
  clash.description = "";
  ApiTypeRecord same = clash;
  same.name = "ErrorAnswer";
  ApiTypeRecord types[] = {clash, same};
  PluginApiTable table{};
  table.types = types;
  table.typeCount = 2;
  json schemas = build(&table)["components"]["schemas"];
  EXPECT_TRUE(schemas.contains("Error_Answer_"));
  EXPECT_TRUE(schemas.contains("ErrorAnswer_"));
  EXPECT_EQ(schemas["ErrorAnswer"]["description"], "Registered without fields or enumerators.");

  // Fewer location records than arguments: the rest count as "any".
  ApiArgumentRecord argument{};
  argument.name = "q";
  argument.description = "";
  argument.type = 12;
  argument.typeName = "";
  ApiEndpointEntry entry{};
  entry.function.name = "GetThing";
  entry.function.nameSpace = "";
  entry.function.description = "";
  entry.function.help = "";
  entry.function.returnTypeName = "";
  entry.function.asyncTypeName = "";
  entry.function.arguments = &argument;
  entry.function.argumentCount = 1;
  entry.pathTemplate = "/thing/{unclosed";
  entry.method = 2;
  entry.methodText = "";
  PluginApiTable one{};
  one.endpoints = &entry;
  one.endpointCount = 1;
  json document = build(&one);
  json& get = document["paths"]["/thing/{unclosed"]["get"];
  ASSERT_EQ(get["parameters"].size(), 1u);
  EXPECT_EQ(get["parameters"][0]["in"], "query");
  EXPECT_EQ(get["tags"], json::array({"fake-plugin"}));
}

}  // namespace
}  // namespace tev::devhost
