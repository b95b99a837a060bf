// Binding of headers, path captures, query values and direct arguments, seen through a
// recording invoker: what each argument holds just before the function would be called.
#include "router/argument_binding.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "binding/nesting_limit.h"
#include "router/router.h"
#include "router_test_support.h"

namespace tev {
namespace {

using testing::RecordingInvoker;
using testing::str;
using testing::TestRequest;
using testing::TestResponse;

BindingFunctionArgument argument(const char* name, BindingBuiltinType type, bool optional = false) {
  BindingFunctionArgument result;
  result.name = name;
  result.type.type = type;
  result.optional = optional;
  return result;
}

class ArgumentBindingTest : public ::testing::Test {
 protected:
  // Publishes the function "F" with the given arguments (every earlier one goes). Its template
  // is `path` followed by "{+rest}", bound to a last argument "rest", because a target's query
  // is part of what the template matches.
  void publish(const char* path, Vector<BindingFunctionArgument> arguments,
               Vector<ArgumentLocation> locations = {}, bool withRest = true) {
    EndpointDefinition definition;
    definition.name = "F";
    std::string withTail = std::string(path) + (withRest ? "{+rest}" : "");
    definition.path = withTail;
    definition.arguments = std::move(arguments);
    definition.locations = std::move(locations);
    if (withRest) {
      definition.locations.resize(definition.arguments.size(), ArgumentLocation::kAny);
      definition.arguments.push_back(argument("rest", BindingBuiltinType::kObject));
      definition.locations.push_back(ArgumentLocation::kPath);
    }
    router_ = std::make_unique<Router>();
    endpoint_ = &router_->addEndpoint(definition, testing::recordingInvoker(log_));
    routes_.clear();
    routes_.push_back(Route::make(endpoint_->function, endpoint_, endpoint_->pathTemplate,
                                  endpoint_->method, endpoint_->methodText));
  }

  TestResponse send(const TestRequest& request) {
    log_ = {};
    return testing::send(request, routes_);
  }
  TestResponse get(const char* target) {
    TestRequest request;
    request.target = target;
    return send(request);
  }
  // The argument's JSON after a request that must have succeeded.
  std::string bound(const char* target, std::size_t index = 0) {
    const TestResponse response = get(target);
    EXPECT_FALSE(response.hasError) << response.error;
    return index < log_.arguments.size() ? log_.arguments[index] : "(none)";
  }
  std::string error(const char* target) {
    const TestResponse response = get(target);
    EXPECT_TRUE(response.hasError);
    EXPECT_EQ(log_.calls, 0);
    return response.error;
  }

  std::unique_ptr<Router> router_;
  RecordingInvoker::Log log_;
  Endpoint* endpoint_ = nullptr;
  std::vector<Route> routes_;
};

TEST_F(ArgumentBindingTest, BooleanFlags) {
  publish("/f", {argument("verbose", BindingBuiltinType::kBool),
                 argument("maybe", BindingBuiltinType::kBool, true)});
  EXPECT_EQ(bound("/f?verbose"), "true");
  EXPECT_EQ(bound("/f?verbose="), "true");
  EXPECT_EQ(bound("/f?verbose=false"), "\"false\"");  // converted when the call is prepared
  EXPECT_EQ(bound("/f"), "false");
  EXPECT_EQ(bound("/f", 1), "null");  // an optional flag stays absent
}

TEST_F(ArgumentBindingTest, RepeatedAndEmptyQueryKeys) {
  publish("/f", {argument("a", BindingBuiltinType::kString)});
  EXPECT_EQ(bound("/f?a=1&a=2"), "\"2\"");
  EXPECT_EQ(bound("/f?a=x%20y+z"), "\"x y z\"");
}

TEST_F(ArgumentBindingTest, EmptyQueryPieceIsAnUnknownArgument) {
  publish("/f", {argument("a", BindingBuiltinType::kString)});
  EXPECT_EQ(error("/f?a=1&"), "Unknown argument '' for 'F'.");
  EXPECT_EQ(error("/f?b=1"), "Unknown argument 'b' for 'F'.");
  EXPECT_EQ(error("/f?b.c=1"), "Unknown argument 'b' for 'F'.");
}

TEST_F(ArgumentBindingTest, EmptyValues) {
  publish("/f",
          {argument("o", BindingBuiltinType::kObject), argument("s", BindingBuiltinType::kStruct),
           argument("v", BindingBuiltinType::kVector),
           argument("n", BindingBuiltinType::kInt32, true)});
  const TestResponse response = get("/f?o&s=&v");
  ASSERT_FALSE(response.hasError) << response.error;
  EXPECT_EQ(log_.arguments, (std::vector<std::string>{"{}", "{}", "[]", "null", R"("?o&s=&v")"}));
  EXPECT_EQ(error("/f?n="), "Expected value for argument 'n'.");
}

TEST_F(ArgumentBindingTest, DottedPathsBuildMembersAndElements) {
  publish("/f", {argument("filter", BindingBuiltinType::kStruct),
                 argument("ids", BindingBuiltinType::kVector)});
  EXPECT_EQ(bound("/f?filter.name=x&filter.range.low=1"), R"({"name":"x","range":{"low":"1"}})");
  EXPECT_EQ(bound("/f?ids.0=5&ids.2=7", 1), R"(["5",null,"7"])");
  EXPECT_EQ(bound("/f?ids.x1=5", 1), R"({"x1":"5"})");
  EXPECT_EQ(bound("/f?ids.0x2=h&ids.010=o", 1), R"([null,null,"h",null,null,null,null,null,"o"])");
  EXPECT_EQ(bound("/f?ids.1.name=n", 1), R"([null,{"name":"n"}])");
  // A leaf is always text: no sniffing below the argument itself.
  EXPECT_EQ(bound("/f?filter.raw=%7B%7D"), R"({"raw":"{}"})");
}

TEST_F(ArgumentBindingTest, IndexErrors) {
  publish("/f", {argument("ids", BindingBuiltinType::kVector)});
  EXPECT_EQ(error("/f?ids.1z=5"), "Index 1z is in an incorrect format");
  EXPECT_EQ(error("/f?ids.08=5"), "Index 08 is in an incorrect format");
  EXPECT_EQ(error("/f?ids.2147483648=5"), "Index 2147483648 is out of range");
  EXPECT_EQ(error("/f?ids.99999999999999999999=5"), "Index 99999999999999999999 is out of range");
}

TEST_F(ArgumentBindingTest, IndexesCannotMakeHugeCollections) {
  publish("/f", {argument("ids", BindingBuiltinType::kVector),
                 argument("more", BindingBuiltinType::kVector)});
  // Within the signed 32-bit range, but it would take gigabytes.
  EXPECT_EQ(error("/f?ids.2147483647=5"), "Index 2147483647 is out of range");
  // The budget is per request, holes included.
  std::string expected = "[";
  for (int i = 0; i < 40000; ++i) expected += "null,";
  expected += "\"1\"]";
  EXPECT_EQ(bound("/f?ids.40000=1"), expected);
  EXPECT_EQ(error("/f?ids.40000=1&more.40000=2"), "Index 40000 is out of range");
  EXPECT_EQ(bound("/f?ids.65535=1").size(), 65535u * 5 + 5);
}

TEST_F(ArgumentBindingTest, DottedKeysRespectTheNestingLimit) {
  publish("/f", {argument("a", BindingBuiltinType::kObject)});
  std::string deepest = "/f?a";
  for (std::size_t i = 0; i < kMaxNestingDepth; ++i) deepest += ".m";
  EXPECT_FALSE(get((deepest + "=1").c_str()).hasError);
  EXPECT_EQ(error((deepest + ".m=1").c_str()),
            "Argument 'a' for 'F' is nested deeper than 128 levels.");
  std::string indexes = "/f?a";
  for (std::size_t i = 0; i <= kMaxNestingDepth; ++i) indexes += ".0";
  EXPECT_EQ(error((indexes + "=1").c_str()),
            "Argument 'a' for 'F' is nested deeper than 128 levels.");
}

TEST_F(ArgumentBindingTest, StructuredTextIsSniffedOnlyForStructuredArguments) {
  publish("/f", {argument("s", BindingBuiltinType::kStruct),
                 argument("text", BindingBuiltinType::kString),
                 argument("list", BindingBuiltinType::kVector)});
  const TestResponse response = get("/f?s=%7B%22a%22:1%7D&text=%7B%22a%22:1%7D&list=%20%5B1,2%5D");
  ASSERT_FALSE(response.hasError) << response.error;
  EXPECT_EQ(log_.arguments[0], R"({"a":1})");
  EXPECT_EQ(log_.arguments[1], R"("{\"a\":1}")");
  EXPECT_EQ(log_.arguments[2], "[1,2]");
  EXPECT_EQ(bound("/f?s=---%0Ab:%20two"), R"({"b":"two"})");
  EXPECT_EQ(bound("/f?s=%81%A1k%05"), R"({"k":5})");  // MessagePack {"k": 5}
  EXPECT_EQ(bound("/f?s=plain"), R"("plain")");
}

TEST_F(ArgumentBindingTest, SniffedTextThatFailsToDecodeNamesParameterAndFunction) {
  publish("/f", {argument("s", BindingBuiltinType::kStruct)});
  EXPECT_EQ(
      error("/f?s=%7Bx").rfind("Couldn't deserialize JSON value for parameter 's' of 'F': ", 0),
      0u);
  EXPECT_EQ(error("/f?s=---%0A%5B")
                .rfind("Couldn't deserialize YAML value for parameter 's' of 'F': ", 0),
            0u);
  EXPECT_EQ(error("/f?s=%81%C1")
                .rfind("Couldn't deserialize MessagePack value for parameter 's' of 'F': ", 0),
            0u);
}

TEST_F(ArgumentBindingTest, HeadersBindByTheArgumentNameInLowerCase) {
  publish("/f", {argument("X-Token", BindingBuiltinType::kString, true)});
  TestRequest lower;
  lower.headers = {{"x-token", "abc"}};
  ASSERT_FALSE(send(lower).hasError);
  EXPECT_EQ(log_.arguments[0], "\"abc\"");
  TestRequest exact;
  exact.headers = {{"X-Token", "abc"}};
  ASSERT_FALSE(send(exact).hasError);
  EXPECT_EQ(log_.arguments[0], "null");
  TestRequest repeated;
  repeated.headers = {{"x-token", "first"}, {"x-token", "last"}};
  ASSERT_FALSE(send(repeated).hasError);
  EXPECT_EQ(log_.arguments[0], "\"last\"");
}

TEST_F(ArgumentBindingTest, LocationsRestrictSources) {
  publish("/f/{id}/",
          {argument("id", BindingBuiltinType::kString), argument("q", BindingBuiltinType::kString),
           argument("h", BindingBuiltinType::kString, true)},
          {ArgumentLocation::kPath, ArgumentLocation::kQuery, ArgumentLocation::kHeader});
  EXPECT_EQ(bound("/f/a%2Fb/?q=1"), "\"a/b\"");
  EXPECT_EQ(log_.arguments[1], "\"1\"");
  EXPECT_EQ(error("/f/a/?id=2"), "Argument 'id' for 'F' was specified in an invalid location.");
  EXPECT_EQ(error("/f/a/?h=2"), "Argument 'h' for 'F' was specified in an invalid location.");
  publish("/g/{q}", {argument("q", BindingBuiltinType::kString)}, {ArgumentLocation::kQuery},
          false);
  EXPECT_EQ(error("/g/x"), "Argument 'q' for 'F' was specified in an invalid location.");
}

TEST_F(ArgumentBindingTest, DirectArguments) {
  publish(
      "/f/{id}",
      {argument("id", BindingBuiltinType::kString), argument("second", BindingBuiltinType::kObject),
       argument("third", BindingBuiltinType::kInt32, true)},
      {}, false);
  BindingProperty structure;
  structure.member("k").setUnsigned(1);
  TestRequest request;
  request.target = "/f/x";
  request.arguments.emplace_back(std::nullopt, structure);  // unnamed 0 after one capture
  BindingProperty number;
  number.setSigned(-3);
  request.arguments.emplace_back(std::string("third"), number);
  ASSERT_FALSE(send(request).hasError);
  EXPECT_EQ(log_.arguments, (std::vector<std::string>{"\"x\"", R"({"k":1})", "-3"}));

  TestRequest unknown;
  unknown.target = "/f/x";
  unknown.arguments.emplace_back(std::string("zzz"), number);
  EXPECT_EQ(send(unknown).error, "Unknown argument 'zzz' for 'F'.");
  TestRequest tooMany;
  tooMany.target = "/f/x";
  for (int i = 0; i < 3; ++i) tooMany.arguments.emplace_back(std::nullopt, number);
  EXPECT_EQ(send(tooMany).error, "Unknown argument '2' for 'F'.");
}

TEST_F(ArgumentBindingTest, FirstErrorStopsBindingAndTheCall) {
  publish("/f", {argument("a", BindingBuiltinType::kString)});
  TestRequest request;
  request.target = "/f?b=1&c=2";
  const TestResponse response = send(request);
  EXPECT_EQ(response.error, "Unknown argument 'b' for 'F'.");
  EXPECT_EQ(log_.prepares, 0);
  EXPECT_EQ(log_.calls, 0);
  EXPECT_EQ(response.status, 0);
}

TEST(ArgumentIndex, FindsTheFirstArgumentOfAName) {
  BindingFunctionDescriptor function;
  function.arguments.push_back(argument("a", BindingBuiltinType::kString));
  function.arguments.push_back(argument("b", BindingBuiltinType::kString));
  function.arguments.push_back(argument("a", BindingBuiltinType::kString));
  const ArgumentIndex index(function);
  EXPECT_EQ(index.find("a"), 0u);
  EXPECT_EQ(index.find("b"), 1u);
  EXPECT_FALSE(index.find("c").has_value());
  EXPECT_FALSE(index.find("").has_value());
}

TEST(ParseQuery, KeysValuesAndOrder) {
  const RequestValueMap query = parseQuery("/p?b=2&a&b=3&c=x=y&%41=%42");
  std::vector<std::pair<std::string, std::string>> entries;
  for (const auto& [key, value] : query) entries.emplace_back(str(key), str(value));
  EXPECT_EQ(entries, (std::vector<std::pair<std::string, std::string>>{
                         {"b", "3"}, {"a", ""}, {"c", "x=y"}, {"A", "B"}}));
  EXPECT_TRUE(parseQuery("/p").empty());
  EXPECT_EQ(parseQuery("/p?").size(), 1u);
}

}  // namespace
}  // namespace tev
