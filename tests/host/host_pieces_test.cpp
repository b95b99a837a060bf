// The host's pieces in-process: options, event names, JSON and host values, endpoint routing.
#include <gtest/gtest.h>

#include <limits>

#include "host/endpoint_table.h"
#include "host/event_name.h"
#include "host/host_options.h"
#include "host/host_value_json.h"

namespace tev::devhost {
namespace {

using nlohmann::json;

bool parse(std::vector<const char*> words, HostOptions& out, std::string& error) {
  words.insert(words.begin(), "devhost");
  HostOptions defaults;
  defaults.pluginPath = "default.so";
  return parseHostOptions(static_cast<int>(words.size()), words.data(), defaults, out, error);
}

TEST(HostOptions, ValuesTakeBothFormsAndStoreUrlsGetTheirSlash) {
  HostOptions options;
  std::string error;
  ASSERT_TRUE(parse({"--port=0", "--store-url", "http://127.0.0.1:9/api", "-v", "-v", "-v", "-v",
                     "--timeout-ms", "250", "--plugin", "x.so"},
                    options, error))
      << error;
  EXPECT_EQ(options.port, 0);
  EXPECT_EQ(options.storeUrl, "http://127.0.0.1:9/api/");
  EXPECT_EQ(options.verbosity, 3);  // capped
  EXPECT_EQ(options.timeoutMs, 250);
  EXPECT_EQ(options.pluginPath, "x.so");
  ASSERT_TRUE(parse({}, options, error));
  EXPECT_EQ(options.pluginPath, "default.so");
  EXPECT_EQ(options.port, 8400);
}

TEST(HostOptions, MalformedValuesAreRefusedWithTheirReason) {
  const struct {
    std::vector<const char*> words;
    const char* error;
  } kRows[] = {
      {{"--port", "65536"}, "option --port takes a whole number from 0 to 65535, not '65536'"},
      {{"--port", "80x"}, "option --port takes a whole number from 0 to 65535, not '80x'"},
      {{"--port"}, "option --port needs a value"},
      {{"--verbosity=4"}, "option --verbosity takes a whole number from 0 to 3, not '4'"},
      {{"--store-url", "ftp://x/"},
       "option --store-url takes an http:// or https:// URL, not 'ftp://x/'"},
      {{"--plugin="}, "option --plugin needs a non-empty value"},
      {{"--colour"}, "unknown option '--colour' (see --help)"},
  };
  for (const auto& row : kRows) {
    HostOptions options;
    std::string error;
    EXPECT_FALSE(parse(row.words, options, error)) << row.error;
    EXPECT_EQ(error, row.error);
  }
}

TEST(HostOptions, EntryNameComesFromTheLibraryFileName) {
  EXPECT_EQ(entryNameForLibrary("/a/b/tev-purchase-widget.so"), "load_tev_purchase_widget");
  EXPECT_EQ(entryNameForLibrary("tev-test-plugin.so.1"), "load_tev_test_plugin");
  EXPECT_EQ(entryNameForLibrary("plain"), "load_plain");
}

TEST(EventNameForResource, MatchesThePluginsNames) {
  EXPECT_EQ(eventNameForResource("/tev-login/v1/session"), "OnJsonApiEvent_tev-login_v1_session");
  EXPECT_EQ(eventNameForResource("/orvikclient/region-locale"),
            "OnJsonApiEvent_orvikclient_region-locale");
  EXPECT_EQ(eventNameForResource("/tev-platform-config/v1/namespaces/HuxPurchaseWidget"),
            "OnJsonApiEvent_tev-platform-config_v1_namespaces_HuxPurchaseWidget");
  EXPECT_EQ(eventNameForResource("/tev-platform-config/v1/namespaces/HuxPurchaseWidget/x/y"),
            "OnJsonApiEvent_tev-platform-config_v1_namespaces_HuxPurchaseWidget_x");
  EXPECT_EQ(eventNameForResource("/a/b/c/d/e"), "OnJsonApiEvent_a_b_c");
  EXPECT_EQ(eventNameForResource("//a//b/"), "OnJsonApiEvent_a_b");
  EXPECT_EQ(eventNameForResource("/"), "OnJsonApiEvent");
  EXPECT_EQ(eventNameForResource(""), "OnJsonApiEvent");
}

std::string written(const HostValue& value) {
  std::string out;
  std::string error;
  EXPECT_TRUE(writeHostValueJson(value, out, error)) << error;
  return out;
}

TEST(HostValueJson, BuiltValuesWriteBackAsTheSameJson) {
  const char* text =
      R"({"a":[1,-2,18446744073709551615,2.5,true,null,"x\"y"],"b":{"c":{}},"d":[]})";
  json value;
  std::string error;
  ASSERT_TRUE(parseJson(text, value, error)) << error;
  HostValueArena arena;
  const HostValue built = arena.build(value);
  EXPECT_EQ(built.type, kHostValueStructure);
  EXPECT_EQ(json::parse(written(built)), value);
  EXPECT_EQ(arena.build(json(-1)).type, kHostValueSigned);
  EXPECT_EQ(arena.build(json(1u)).type, kHostValueUnsigned);
  EXPECT_EQ(arena.build(json("t")).type, kHostValueString);  // not owned: the plugin frees nothing
}

TEST(HostValueJson, PluginValuesAreWrittenSafely) {
  HostValue text{};
  text.type = kHostValueOwnedString;
  text.payload.string.text = "tab\there \x01 bad\xff end \xe2\x82\xac";
  EXPECT_EQ(written(text), "\"tab\\there \\u0001 bad\xEF\xBF\xBD end \xE2\x82\xAC\"");

  static const std::uint8_t kBytes[] = {0x41, 0x0A};
  HostValue blob{};
  blob.type = kHostValueBlob;
  blob.payload.blob.bytes = kBytes;
  blob.payload.blob.length = 2;
  EXPECT_EQ(written(blob), "\"QQo=\"");

  HostValue number{};
  number.type = kHostValueFloat;
  number.payload.floatValue = 1.0;
  EXPECT_EQ(written(number), "1.0");
  number.payload.floatValue = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(written(number), "null");
}

TEST(HostValueJson, MalformedPluginValuesAreErrorsNotCrashes) {
  const auto failure = [](const HostValue& value) {
    std::string out;
    std::string error;
    EXPECT_FALSE(writeHostValueJson(value, out, error));
    return error;
  };
  HostValue unknown{};
  unknown.type = 11;
  EXPECT_EQ(failure(unknown), "unknown host value type 11");
  HostValue collection{};
  collection.type = kHostValueCollection;
  collection.payload.collection.count = 3;
  EXPECT_EQ(failure(collection), "collection value without elements");
  HostStructureEntry entry{};
  HostValue structure{};
  structure.type = kHostValueStructure;
  structure.payload.structure.entries = &entry;
  structure.payload.structure.count = 1;
  EXPECT_EQ(failure(structure), "structure member without key");
  HostValue text{};
  text.type = kHostValueString;
  EXPECT_EQ(failure(text), "string value without text");

  // A chain of 129 collections is one level too deep.
  std::vector<HostValue> chain(130);
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
    chain[i].type = kHostValueCollection;
    chain[i].payload.collection.elements = &chain[i + 1];
    chain[i].payload.collection.count = 1;
  }
  EXPECT_EQ(written(chain[1]), std::string(128, '[') + "null" + std::string(128, ']'));
  EXPECT_EQ(failure(chain[0]), "value nested deeper than 128 levels");
}

TEST(HostValueJson, ParsingRefusesDeepNestingBeforeBuildingAnything) {
  json value;
  std::string error;
  EXPECT_TRUE(parseJson(std::string(128, '[') + std::string(128, ']'), value, error)) << error;
  EXPECT_FALSE(parseJson(std::string(129, '[') + std::string(129, ']'), value, error));
  EXPECT_EQ(error, "JSON nested deeper than 128 levels");
  // Brackets inside strings do not count.
  EXPECT_TRUE(parseJson("\"" + std::string(1000, '[') + "\"", value, error)) << error;
  EXPECT_FALSE(parseJson(std::string(100000, '['), value, error));
  EXPECT_FALSE(parseJson("{\"a\":", value, error));
  EXPECT_NE(error.find("parse error"), std::string::npos) << error;
}

// An API table with four endpoints, as a plugin would hand it over.
struct FakeTable {
  static void callback(HostEndpointResponse*, const HostEndpointRequest*) {}

  FakeTable() {
    add("GetItemsById", "/items/{id}", kMethodGet);
    add("GetItemsSpecial", "/items/special", kMethodGet);
    add("PostItemsById", "/items/{id}", kMethodPost);
    add("DoIt", "", kMethodAny);
    table.endpoints = entries;
    table.endpointCount = 4;
  }
  void add(const char* name, const char* path, std::uint32_t method) {
    ApiEndpointEntry& entry = entries[count++];
    entry.function.name = name;
    entry.pathTemplate = path;
    entry.method = method;
    entry.methodText = "";
    entry.callback = &callback;
  }
  ApiEndpointEntry entries[4]{};
  int count = 0;
  PluginApiTable table{};
};

TEST(EndpointTable, MatchesByMethodAndTemplateLiteralRoutesFirst) {
  FakeTable fake;
  const EndpointTable table(&fake.table);
  ASSERT_EQ(table.routes().size(), 4u);
  EXPECT_EQ(table.find(kMethodGet, "", "/items/special").route->name, "GetItemsSpecial");
  EXPECT_EQ(table.find(kMethodGet, "", "/items/7").route->name, "GetItemsById");
  EXPECT_EQ(table.find(kMethodPost, "", "/items/7").route->name, "PostItemsById");
  EXPECT_EQ(table.find(kMethodGet, "", "/items/7/8").route, nullptr);

  const EndpointTable::Match wrongMethod = table.find(kMethodPut, "", "/items/7");
  EXPECT_EQ(wrongMethod.route, nullptr);
  EXPECT_TRUE(wrongMethod.pathMatched);
  EXPECT_EQ(wrongMethod.allowed, "GET, POST");

  // An endpoint without template is served at "/" + name and reached by its name.
  const EndpointTable::Match byName = table.find(kMethodPatch, "", "/DoIt");
  ASSERT_NE(byName.route, nullptr);
  EXPECT_EQ(byName.route->targetFor("/DoIt?x=1"), "DoIt?x=1");
  EXPECT_EQ(table.find(kMethodGet, "", "/items/7").route->targetFor("/items/7?x=1"),
            "/items/7?x=1");
  EXPECT_EQ(methodCode("PATCH"), kMethodPatch);
  EXPECT_EQ(methodCode("BREW"), kMethodOther);
}

}  // namespace
}  // namespace tev::devhost
