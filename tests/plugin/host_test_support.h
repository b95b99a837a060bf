// Shared steps of the tests that load a plugin library into a TestHost: opening the purchase
// widget library or the test plugin, calling the test plugin's endpoints, and reading JSON.
#pragma once

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <memory>
#include <string>

#include "tests/plugin/test_host.h"

namespace plugintest {

inline constexpr std::uint32_t kGet = 2;
inline constexpr std::uint32_t kPost = 6;

// A host with the purchase widget library opened (not yet loaded).
inline std::unique_ptr<TestHost> openWidgetLibrary() {
  auto host = std::make_unique<TestHost>();
  EXPECT_TRUE(host->open(TEV_WIDGET_LIBRARY, "load_tev_purchase_widget")) << TEV_WIDGET_LIBRARY;
  return host;
}

// A host with the test plugin loaded as host version 18.0.0 (not yet initialised); the settings
// resource answers {"mode": "fast", "level": 3}.
inline std::unique_ptr<TestHost> loadTestPlugin(std::uint32_t minor = 0, std::uint32_t patch = 0) {
  auto host = std::make_unique<TestHost>();
  EXPECT_TRUE(host->open(TEV_TEST_PLUGIN_LIBRARY, "load_tev_test_plugin"))
      << TEV_TEST_PLUGIN_LIBRARY;
  host->load(18, minor, patch);
  EXPECT_TRUE(host->loaded());
  LocalReply settings;
  settings.json = R"({"mode":"fast","level":3})";
  host->replyLocal("/tev-test/v1/settings", settings);
  return host;
}

// Calls a test plugin endpoint at "/tev-test-plugin/v1/<name>" with a JSON body.
inline EndpointAnswer post(TestHost& host, const std::string& name, const std::string& body) {
  const std::string path = "/tev-test-plugin/v1/" + name;
  EndpointAnswer answer = host.call(kPost, path, path, body);
  EXPECT_TRUE(answer.found) << path;
  EXPECT_FALSE(answer.hasError) << path << ": " << answer.error;
  return answer;
}

inline EndpointAnswer get(TestHost& host, const std::string& name) {
  const std::string path = "/tev-test-plugin/v1/" + name;
  EndpointAnswer answer = host.call(kGet, path, path);
  EXPECT_TRUE(answer.found) << path;
  return answer;
}

inline rapidjson::Document parse(const std::string& json) {
  rapidjson::Document document;
  document.Parse(json.c_str());
  EXPECT_FALSE(document.HasParseError()) << json;
  return document;
}

// Compact JSON of a parsed value.
inline std::string json(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

inline std::string member(const rapidjson::Value& object, const char* name) {
  if (!object.IsObject() || !object.HasMember(name)) return "<missing>";
  const rapidjson::Value& value = object[name];
  if (value.IsString()) return value.GetString();
  if (value.IsInt64()) return std::to_string(value.GetInt64());
  if (value.IsUint64()) return std::to_string(value.GetUint64());
  if (value.IsBool()) return value.GetBool() ? "true" : "false";
  if (value.IsNull()) return "null";
  return "<complex>";
}

}  // namespace plugintest
