// Dispatch end to end: body decoding, the response record written from the call result, the
// call context, and native functions behind the native invoker.
#include "router/dispatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "binding/binding_field_registration.h"
#include "binding/nesting_limit.h"
#include "platform/clock.h"
#include "router/native_invoker.h"
#include "router/router.h"
#include "router_test_support.h"

namespace tev::dispatch_test {

struct Item {
  String sku;
  std::int32_t quantity = 0;
};

struct Basket {
  Vector<Item> items;
  String note;
};

}  // namespace tev::dispatch_test

TEV_BINDING_TYPE(tev::dispatch_test::Item);
TEV_BINDING_TYPE(tev::dispatch_test::Basket);

namespace tev::dispatch_test {
namespace {

using testing::RecordingInvoker;
using testing::TestRequest;
using testing::TestResponse;

BindingFunctionArgument argument(const char* name, BindingBuiltinType type, bool optional = false) {
  BindingFunctionArgument result;
  result.name = name;
  result.type.type = type;
  result.optional = optional;
  return result;
}

EndpointDefinition at(const char* path, HttpMethod method = HttpMethod::kAny,
                      Vector<ArgumentLocation> locations = {}) {
  EndpointDefinition definition;
  definition.path = path;
  definition.method = method;
  definition.locations = std::move(locations);
  return definition;
}

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() {
    BindingTypeBuilder item = registerBindingType<Item>(router_, "Item");
    addBindingField(item, "sku", &Item::sku, kBindingFieldRequired);
    addBindingField(item, "quantity", &Item::quantity);
    BindingTypeBuilder basket = registerBindingType<Basket>(router_, "Basket");
    addBindingField(basket, "items", &Basket::items);
    addBindingField(basket, "note", &Basket::note);
  }

  // Adds the route of an endpoint to the routes requests are dispatched against.
  Endpoint& route(Endpoint& endpoint) {
    routes_.push_back(Route::make(endpoint.function, &endpoint, endpoint.pathTemplate,
                                  endpoint.method, endpoint.methodText));
    return endpoint;
  }
  Endpoint& recorded(const char* name, const char* path, Vector<BindingFunctionArgument> arguments,
                     Vector<ArgumentLocation> locations = {}, HttpMethod method = HttpMethod::kAny,
                     const char* methodText = "", bool wantsContext = false) {
    EndpointDefinition definition;
    definition.name = name;
    definition.path = path;
    definition.method = method;
    definition.methodText = methodText;
    definition.arguments = std::move(arguments);
    definition.locations = std::move(locations);
    return route(router_.addEndpoint(definition, testing::recordingInvoker(log_, wantsContext)));
  }
  TestResponse send(const TestRequest& request) {
    log_ = {};
    return testing::send(request, routes_);
  }
  TestResponse post(const char* target, const char* contentType, std::string body) {
    TestRequest request;
    request.method = 6;
    request.target = target;
    request.contentType = contentType;
    request.body = std::move(body);
    return send(request);
  }

  Router router_;
  RecordingInvoker::Log log_;
  std::vector<Route> routes_;
};

TEST_F(DispatchTest, NoMatchingRouteIsAnInvalidFunction) {
  recorded("F", "/f", {}, {}, HttpMethod::kPost);
  TestRequest request;  // a GET
  const TestResponse response = send(request);
  EXPECT_TRUE(response.hasError);
  EXPECT_EQ(response.error, "Invalid function");
  EXPECT_EQ(response.status, 404);
  EXPECT_EQ(response.valueJson, "null");
  EXPECT_EQ(log_.prepares, 0);
  request.target = "/g";
  request.method = 6;
  EXPECT_EQ(send(request).status, 404);
  EXPECT_EQ(testing::send(request, {}).error, "Invalid function");
}

TEST_F(DispatchTest, MethodCodesZeroAndEight) {
  recorded("Purge", "/p", {}, {}, HttpMethod::kOther, "PURGE");
  recorded("Any", "/a", {});
  TestRequest purge;
  purge.target = "/p";
  purge.method = 8;
  purge.methodText = "PURGE";
  EXPECT_FALSE(send(purge).hasError);
  purge.methodText = "LOCK";
  EXPECT_EQ(send(purge).status, 404);
  purge.method = 6;  // the text counts only with code 8
  purge.methodText = "PURGE";
  EXPECT_EQ(send(purge).status, 404);
  TestRequest any;
  any.target = "/a";
  for (const std::uint32_t code : {0u, 1u, 8u, 9u, 0xFFFFFFFFu}) {
    any.method = code;
    EXPECT_FALSE(send(any).hasError) << code;
  }
}

TEST_F(DispatchTest, BodyContentTypesByPrefixIgnoringCase) {
  recorded("F", "/f", {argument("body", BindingBuiltinType::kObject)}, {ArgumentLocation::kBody});
  const struct {
    const char* contentType;
    std::string body;
  } accepted[] = {
      {"Application/JSON; charset=utf-8", R"({"a":1})"},
      {"application/vnd.api+json", R"({"a":1})"},
      {"APPLICATION/X-MSGPACK",
       "\x81\xA1"
       "a\x01"},
      {"application/x-msgpack-ext",
       "\x81\xA1"
       "a\x01"},
      {"application/x-yaml", "a: 1\n"},
  };
  for (const auto& [contentType, body] : accepted) {
    const TestResponse response = post("/f", contentType, body);
    EXPECT_FALSE(response.hasError) << contentType << ": " << response.error;
    EXPECT_EQ(log_.arguments.at(0), R"({"a":1})") << contentType;
  }
  for (const char* contentType : {"text/x-yaml", "text/plain", "application/jso", ""}) {
    EXPECT_EQ(post("/f", contentType, "{}").error, "Unsupported body content type") << contentType;
  }
  TestRequest noType;
  noType.target = "/f";
  noType.body = "{}";
  EXPECT_EQ(send(noType).error, "Unsupported body content type");
}

TEST_F(DispatchTest, BodyDecodingErrors) {
  recorded("F", "/f", {argument("body", BindingBuiltinType::kObject)}, {ArgumentLocation::kBody});
  EXPECT_EQ(post("/f", "application/x-msgpack", "\x01\x02").error,
            "Extra MessgePack data found in body");
  EXPECT_EQ(post("/f", "application/json", "{").error.rfind("Error: ", 0), 0u);
  EXPECT_FALSE(post("/f", "application/x-yaml", "[1").error.empty());
  EXPECT_EQ(log_.prepares, 0);
}

TEST_F(DispatchTest, BodyIsReadOnlyWithinItsLength) {
  recorded("F", "/f", {argument("body", BindingBuiltinType::kObject)}, {ArgumentLocation::kBody});
  // No NUL after the body: a reader looking for one would run past it (ASan would tell).
  TestRequest request;
  request.target = "/f";
  request.contentType = "application/json";
  request.body = "[1,2]garbage";
  request.bodyLength = 5;
  EXPECT_FALSE(send(request).hasError);
  EXPECT_EQ(log_.arguments.at(0), "[1,2]");
  request.bodyLength = 3;
  EXPECT_TRUE(send(request).hasError);
  // A NUL inside the length ends the text, for JSON and YAML alike.
  request.body = std::string("[3]\0[4]", 7);
  request.bodyLength.reset();
  EXPECT_FALSE(send(request).hasError);
  EXPECT_EQ(log_.arguments.at(0), "[3]");
  request.contentType = "application/x-yaml";
  request.body = std::string("- 5\0- 6", 7);
  EXPECT_FALSE(send(request).hasError);
  EXPECT_EQ(log_.arguments.at(0), "[5]");
  // A heap copy of exactly the body's bytes, so that reading one past it is caught.
  std::vector<char> exact{'{', '}'};
  request.contentType = "application/json";
  request.body = std::string(exact.begin(), exact.end());
  EXPECT_FALSE(send(request).hasError);
}

TEST_F(DispatchTest, TheFirstNulEndsTheBodyWhereverItFalls) {
  recorded("F", "/f", {argument("body", BindingBuiltinType::kObject)}, {ArgumentLocation::kBody});
  TestRequest request;
  request.target = "/f";
  request.contentType = "application/x-yaml";
  // The NUL at every offset through a few words, after bytes with the high bit set (UTF-8 in a
  // comment) that must not pass for a NUL, and before more than a word of text that the YAML
  // reader would refuse or add as a second element.
  const std::string comment = "# \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n";
  const std::string after = std::string(1, '\0') + "\n- c" + std::string(16, ' ');
  for (std::size_t pad = 0; pad < 40; ++pad) {
    const std::string text = comment + "- a" + std::string(pad, 'b');
    request.body = text + after;
    request.bodyLength.reset();
    const TestResponse ended = send(request);
    ASSERT_FALSE(ended.hasError) << pad << ": " << ended.error;
    EXPECT_EQ(log_.arguments.at(0), "[\"a" + std::string(pad, 'b') + "\"]") << pad;
    // A length that ends the body at the NUL gives the same text, without the NUL being read.
    request.bodyLength = text.size();
    EXPECT_FALSE(send(request).hasError) << pad;
    EXPECT_EQ(log_.arguments.at(0), "[\"a" + std::string(pad, 'b') + "\"]") << pad;
  }
  // The JSON reader finds the NUL as it reads, wherever it falls: inside a string, after a
  // value, or where a value should follow.
  request.contentType = "application/json";
  for (std::size_t pad = 0; pad < 24; ++pad) {
    const std::string text = "[\"a" + std::string(pad, 'b') + "\"]";
    request.body = text + std::string(1, '\0') + ",2]" + std::string(16, ' ');
    request.bodyLength.reset();
    const TestResponse ended = send(request);
    ASSERT_FALSE(ended.hasError) << pad << ": " << ended.error;
    EXPECT_EQ(log_.arguments.at(0), text) << pad;
    request.body = text.substr(0, 3 + pad) + std::string(1, '\0') + "\"]";
    EXPECT_NE(send(request).error.find("Missing a closing quotation mark in string. at offset " +
                                       std::to_string(3 + pad)),
              std::string::npos)
        << pad;
    request.body = "[1," + std::string(pad, ' ') + std::string(1, '\0') + "2]";
    EXPECT_TRUE(send(request).hasError) << pad;
  }
}

TEST_F(DispatchTest, BodyWithoutBodyArgumentIsIgnored) {
  recorded("F", "/f/{a}", {argument("a", BindingBuiltinType::kString, true)});
  for (const char* contentType : {"application/json", "nonsense"}) {
    const TestResponse response = post("/f/1", contentType, "{not json");
    EXPECT_FALSE(response.hasError) << response.error;
    EXPECT_EQ(log_.arguments.at(0), "\"1\"");
  }
}

TEST_F(DispatchTest, BodyErrorReplacesAnEarlierErrorAndIsDecodedAfterOne) {
  recorded("F", "/f/{zz}", {argument("body", BindingBuiltinType::kObject)},
           {ArgumentLocation::kBody});
  EXPECT_EQ(post("/f/1", "application/json", "{}").error, "Unknown argument 'zz' for 'F'.");
  EXPECT_EQ(post("/f/1", "text/plain", "{}").error, "Unsupported body content type");
  EXPECT_EQ(log_.calls, 0);
}

TEST_F(DispatchTest, CallContextCarriesTheRequest) {
  recorded("F", "/f/{id}", {argument("id", BindingBuiltinType::kString)}, {}, HttpMethod::kOther,
           "PURGE", true);
  int handle = 0;
  TestRequest request;
  request.method = 8;
  request.methodText = "PURGE";
  request.target = "/f/7";
  request.headers = {{"Accept", "a"}, {"Accept", "b"}, {"X-Other", "c"}};
  request.handle = &handle;
  const std::int64_t before = platform::wallClockTicks();
  ASSERT_FALSE(send(request).hasError);
  const std::int64_t after = platform::wallClockTicks();
  ASSERT_TRUE(log_.context.has_value());
  const CallContext& context = *log_.context;
  EXPECT_EQ(context.requestHandle, &handle);
  EXPECT_EQ(context.method, HttpMethod::kOther);
  EXPECT_EQ(testing::str(context.methodText), "PURGE");
  EXPECT_EQ(testing::str(context.target), "/f/7");
  EXPECT_EQ(context.registry, &router_);
  EXPECT_EQ(context.headers.size(), 2u);
  EXPECT_EQ(testing::str(context.headers.at("Accept")), "b");
  EXPECT_GE(context.time, before);
  EXPECT_LE(context.time, after);
  // 2020-01-01 in 100-nanosecond ticks since 1970: the clock counts from the right epoch.
  EXPECT_GT(context.time, 15778368000000000);
}

TEST_F(DispatchTest, FunctionsWithoutContextGetNone) {
  recorded("F", "/f", {});
  ASSERT_FALSE(send(TestRequest{}).hasError);
  EXPECT_EQ(log_.calls, 1);
  EXPECT_FALSE(log_.context.has_value());
  EXPECT_EQ(log_.releases, 1);
}

// A body producer that hands out one text.
class TextBody final : public ResponseBodyProducer {
 public:
  TextBody(std::string text, int& destroyed) : text_(std::move(text)), destroyed_(destroyed) {}
  bool read(char* buffer, std::uint32_t* length, std::uint8_t* more) override {
    const std::size_t count = std::min<std::size_t>(*length, text_.size() - offset_);
    std::memcpy(buffer, text_.data() + offset_, count);
    offset_ += count;
    *length = static_cast<std::uint32_t>(count);
    *more = offset_ < text_.size() ? 1 : 0;
    return true;
  }
  std::uint32_t size() const override { return static_cast<std::uint32_t>(text_.size()); }
  void destroy() noexcept override {
    ++destroyed_;
    destroyObject(this);
  }

 private:
  std::string text_;
  std::size_t offset_ = 0;
  int& destroyed_;
};

TEST_F(DispatchTest, ResponseRecordFromTheCallResult) {
  int destroyed = 0;
  route(addNativeEndpoint(router_, at("/full"), {}, [&] {
    CallResult result;
    result.result.value().member("ok").setBool(true);
    result.flag = 7;
    result.format = 3;
    result.status = 201;
    result.statusText = "Created";
    result.headers.emplace("Location", "/there");
    result.headers.emplace("A", "1");
    result.body.reset(createObject<TextBody>("streamed body", destroyed));
    return result;
  }));
  TestRequest request;
  request.target = "/full";
  testing::RequestRecord record(request);
  HostEndpointResponse response{};
  dispatchRequest(response, record.record(), routes_);
  const TestResponse read = testing::readResponse(response);
  EXPECT_FALSE(read.hasError);
  EXPECT_EQ(testing::field(response.error), nullptr);
  EXPECT_EQ(read.valueJson, R"({"ok":true})");
  EXPECT_EQ(read.flag, 7);
  EXPECT_EQ(read.format, 3u);
  EXPECT_EQ(read.status, 201);
  EXPECT_EQ(read.statusText, "Created");
  EXPECT_EQ(read.headers,
            (std::vector<std::pair<std::string, std::string>>{{"A", "1"}, {"Location", "/there"}}));
  ASSERT_NE(testing::field(response.readBody), nullptr);
  ASSERT_NE(testing::field(response.bodyProducer), nullptr);
  EXPECT_EQ(testing::field(response.bodySize), 13u);
  EXPECT_EQ(testing::field(response.zero), 0u);
  char buffer[8];
  std::uint32_t length = sizeof buffer;
  std::uint8_t more = 0;
  ASSERT_EQ(response.readBody(testing::field(response.bodyProducer), buffer, &length, &more), 1);
  EXPECT_EQ(std::string(buffer, length), "streamed");
  EXPECT_EQ(more, 1);
  void* producer = response.bodyProducer;
  HostBodyRelease releaseBody = response.releaseBody;
  response.cleanup(&response);
  EXPECT_EQ(destroyed, 0) << "cleanup leaves the body to the host";
  releaseBody(producer);
  EXPECT_EQ(destroyed, 1);
  const std::vector<unsigned char> zeros(sizeof response, 0);
  EXPECT_EQ(std::memcmp(&response, zeros.data(), sizeof response), 0);
}

// A body producer whose read fails by throwing, as native code may.
class ThrowingBody final : public ResponseBodyProducer {
 public:
  bool read(char*, std::uint32_t*, std::uint8_t*) override { throw std::runtime_error("broken"); }
  std::uint32_t size() const override { return 1; }
  void destroy() noexcept override { destroyObject(this); }
};

TEST_F(DispatchTest, AThrowingBodyProducerIsAFailedRead) {
  route(addNativeEndpoint(router_, at("/stream"), {}, [] {
    CallResult result;
    result.body.reset(createObject<ThrowingBody>());
    return result;
  }));
  TestRequest request;
  request.target = "/stream";
  testing::RequestRecord record(request);
  HostEndpointResponse response{};
  dispatchRequest(response, record.record(), routes_);
  char buffer[4];
  std::uint32_t length = sizeof buffer;
  std::uint8_t more = 0;
  EXPECT_EQ(response.readBody(testing::field(response.bodyProducer), buffer, &length, &more), 0);
  response.releaseBody(testing::field(response.bodyProducer));
  response.cleanup(&response);
}

TEST_F(DispatchTest, ResponseFormatsAndStatusTexts) {
  std::uint32_t format = 0;
  route(addNativeEndpoint(router_, at("/f"), {}, [&] {
    CallResult result;
    result.format = format;
    result.result.fail("refused");
    result.status = 409;
    return result;
  }));
  HostEndpointResponse first{};
  HostEndpointResponse second{};
  TestRequest request;
  request.target = "/f";
  testing::RequestRecord record(request);
  for (const std::uint32_t code : {0u, 1u, 2u, 3u, 4u, 0xFFFFFFFFu}) {
    format = code;
    dispatchRequest(first, record.record(), routes_);
    EXPECT_EQ(testing::field(first.format), code <= 3 ? code : 0u) << code;
    EXPECT_EQ(testing::field(first.hasError), 1);
    EXPECT_STREQ(testing::field(first.error), "refused");
    EXPECT_EQ(testing::field(first.status), 409) << "errors keep the handler's status";
  }
  dispatchRequest(second, record.record(), routes_);
  ASSERT_NE(testing::field(first.statusText), nullptr);
  EXPECT_STREQ(testing::field(first.statusText), "");
  EXPECT_EQ(testing::field(first.statusText), testing::field(second.statusText))
      << "one shared empty status text";
  first.cleanup(&first);
  second.cleanup(&second);
  EXPECT_EQ(testing::field(first.statusText), nullptr);
}

TEST_F(DispatchTest, UnconvertibleResultAnswers400) {
  route(addNativeEndpoint(router_, at("/deep"), {}, [] {
    BindingResult result;
    BindingProperty* level = &result.value();
    for (std::size_t i = 0; i <= kMaxNestingDepth; ++i) level = &level->append();
    return result;
  }));
  TestRequest request;
  request.target = "/deep";
  const TestResponse response = send(request);
  EXPECT_FALSE(response.hasError);
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.valueJson, "null");
}

TEST_F(DispatchTest, ExceptionsFromNativeCodeAnswer500) {
  route(addNativeEndpoint(router_, at("/throw"), {},
                          []() -> std::int32_t { throw std::runtime_error("handler broke"); }));
  TestRequest request;
  request.target = "/throw";
  const TestResponse response = send(request);
  EXPECT_EQ(response.error, "handler broke");
  EXPECT_EQ(response.status, 500);
}

TEST_F(DispatchTest, NativeFunctionsConvertArgumentsAndResults) {
  std::optional<Basket> seen;
  route(addNativeEndpoint(
      router_,
      at("/basket/{count}", HttpMethod::kPost, {ArgumentLocation::kPath, ArgumentLocation::kBody}),
      {"count", "basket"}, [&](std::int32_t count, Basket basket) {
        seen = basket;
        Item item;
        item.sku = "total";
        item.quantity = count + static_cast<std::int32_t>(basket.items.size());
        return item;
      }));
  const TestResponse ok = post("/basket/0x10", "application/json",
                               R"({"items":[{"sku":"a","quantity":2},null],"note":"n"})");
  ASSERT_FALSE(ok.hasError) << ok.error;
  EXPECT_EQ(ok.valueJson, R"({"quantity":18,"sku":"total"})");
  ASSERT_TRUE(seen.has_value());
  ASSERT_EQ(seen->items.size(), 2u);
  EXPECT_EQ(testing::str(seen->items[0].sku), "a");
  EXPECT_EQ(seen->items[1].quantity, 0);

  seen.reset();
  EXPECT_EQ(post("/basket/ten", "application/json", "{}").error,
            "Value ten for 'count' of type int32 is in an incorrect format");
  EXPECT_EQ(post("/basket/1", "application/json", R"({"items":5})").error,
            "Couldn't assign value to 'items' of type vector because the input not a collection.");
  EXPECT_EQ(post("/basket/1", "application/json", R"({"items":[{"quantity":1}]})").error,
            "Couldn't assign value to 'items' of type Item because the input structure doesn't "
            "have required field 'sku'.");
  EXPECT_FALSE(seen.has_value()) << "the function is not called after a conversion error";
}

TEST_F(DispatchTest, NativeFunctionsMayAskForTheContext) {
  route(addNativeEndpoint(router_, at("/ctx/{n}"), {"n"},
                          [](const CallContext& context, std::optional<std::int64_t> n) {
                            return String(context.target) + (n ? "+n" : "");
                          }));
  TestRequest request;
  request.target = "/ctx/1";
  EXPECT_EQ(send(request).valueJson, R"("/ctx/1+n")");
}

TEST(CleanupResponse, ZeroedAndNullRecordsAreFine) {
  HostEndpointResponse response{};
  cleanupResponse(&response);
  cleanupResponse(nullptr);
  EXPECT_EQ(testing::field(response.cleanup), nullptr);
}

}  // namespace
}  // namespace tev::dispatch_test
