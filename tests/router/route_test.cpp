#include "router/route.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/thread_with_stack.h"
#include "router/operation_name.h"
#include "router/percent_decode.h"

namespace tev {
namespace {

std::string str(const String& s) { return std::string(s.data(), s.size()); }

// Stand-ins for the endpoints a router registers; only their addresses matter here.
const Endpoint* endpointNo(std::uintptr_t n) { return reinterpret_cast<const Endpoint*>(n); }

Route route(const char* path, std::uintptr_t id, HttpMethod method = HttpMethod::kAny,
            const char* methodText = "") {
  return Route::make(nullptr, endpointNo(id), path, method, methodText);
}

RouteMatch request(const char* target, HttpMethod method = HttpMethod::kGet) {
  RouteMatch match;
  match.method = method;
  match.target = target;
  return match;
}

TEST(CompileRouteTemplate, PlaceholderKindsAndEscapes) {
  const CompiledRouteTemplate items = compileRouteTemplate("/items/{id}");
  EXPECT_EQ(str(items.expression), "/items/([^/]*)");
  ASSERT_EQ(items.placeholders.size(), 1u);
  EXPECT_EQ(items.placeholders[0].kind, PlaceholderKind::kSegment);
  EXPECT_EQ(str(items.placeholders[0].name), "id");
  EXPECT_EQ(str(compileRouteTemplate("/files/{+path}").expression), "/files/(.*)");
  EXPECT_EQ(str(compileRouteTemplate("/page{#anchor}").expression), "/page#(.*)");
  EXPECT_EQ(str(compileRouteTemplate("/v1.0/(x)|{a+b}").expression), "/v1\\.0/\\(x\\)\\|([^/]*)");
  EXPECT_EQ(str(compileRouteTemplate("/{a+b}").placeholders[0].name), "a+b");
}

TEST(RouteRegexTraits, DigitValuesByRadix) {
  const RouteRegexTraits traits;
  EXPECT_EQ(traits.value('0', 8), 0);
  EXPECT_EQ(traits.value('7', 8), 7);
  EXPECT_EQ(traits.value('8', 8), -1);
  EXPECT_EQ(traits.value('9', 10), 9);
  EXPECT_EQ(traits.value('a', 10), -1);
  EXPECT_EQ(traits.value('a', 16), 10);
  EXPECT_EQ(traits.value('F', 16), 15);
  EXPECT_EQ(traits.value('g', 16), -1);
  for (const char c : {' ', '+', '-', '/', ':', '@', '`', '\0'}) EXPECT_EQ(traits.value(c, 16), -1);
}

// Counted repetitions (one and two digits), back-references and escapes read their numbers
// through the traits.
TEST(RouteRegexTraits, NumbersInExpressions) {
  const auto matches = [](const char* expression, const char* text) {
    return std::regex_match(text, RouteRegex(expression, RouteRegex::ECMAScript));
  };
  EXPECT_TRUE(matches("a{2,3}", "aaa"));
  EXPECT_FALSE(matches("a{2,3}", "a"));
  EXPECT_FALSE(matches("a{2,3}", "aaaa"));
  EXPECT_TRUE(matches("[0-9]{12}", "123456789012"));
  EXPECT_FALSE(matches("[0-9]{12}", "12345678901"));
  EXPECT_TRUE(matches("(x)(y)\\2\\1", "xyyx"));
  EXPECT_FALSE(matches("(x)(y)\\2\\1", "xyxy"));
  EXPECT_TRUE(matches("\\x41\\u0062", "Ab"));
  EXPECT_THROW(RouteRegex("a{1,x}", RouteRegex::ECMAScript), std::regex_error);
}

TEST(MatchRoutes, LiteralComparisonIsExact) {
  const std::vector<Route> routes{route("/a/b", 1)};
  RouteMatch hit = request("/a/b");
  EXPECT_TRUE(matchRoutes(hit, routes));
  EXPECT_EQ(hit.endpoint, endpointNo(1));
  RouteMatch slash = request("/a/b/");
  EXPECT_FALSE(matchRoutes(slash, routes));
  RouteMatch query = request("/a/b?x=1");
  EXPECT_FALSE(matchRoutes(query, routes));
}

TEST(MatchRoutes, SegmentAndRestCaptures) {
  const std::vector<Route> items{route("/items/{id}", 1)};
  RouteMatch empty = request("/items/");
  ASSERT_TRUE(matchRoutes(empty, items));
  EXPECT_EQ(str(empty.captures.at("id")), "");
  RouteMatch deeper = request("/items/1/2");
  EXPECT_FALSE(matchRoutes(deeper, items));
  // A segment placeholder also takes a query in the same segment.
  RouteMatch query = request("/items/7?x=1");
  ASSERT_TRUE(matchRoutes(query, items));
  EXPECT_EQ(str(query.captures.at("id")), "7?x=1");

  const std::vector<Route> files{route("/files/{+path}", 2)};
  RouteMatch rest = request("/files/1/2");
  ASSERT_TRUE(matchRoutes(rest, files));
  EXPECT_EQ(str(rest.captures.at("path")), "1/2");
  RouteMatch decoded = request("/files/a%20b+c");
  ASSERT_TRUE(matchRoutes(decoded, files));
  EXPECT_EQ(str(decoded.captures.at("path")), "a b c");
}

TEST(MatchRoutes, TiesKeepTheEarlierRoute) {
  const std::vector<Route> routes{route("/items/{id}", 1), route("/items/{name}", 2)};
  RouteMatch match = request("/items/abc");
  ASSERT_TRUE(matchRoutes(match, routes));
  EXPECT_EQ(match.endpoint, endpointNo(1));
  EXPECT_TRUE(match.captures.contains("id"));
  EXPECT_FALSE(match.captures.contains("name"));
}

TEST(MatchRoutes, ShorterCapturesWinAndALiteralEndsTheScan) {
  const std::vector<Route> routes{route("/x/{+all}", 1), route("/x/a/{rest}", 2),
                                  route("/x/a/b", 3), route("/x/{+again}", 4)};
  RouteMatch match = request("/x/a/b");
  ASSERT_TRUE(matchRoutes(match, routes));
  EXPECT_EQ(match.endpoint, endpointNo(3));
  EXPECT_TRUE(match.captures.empty());
}

TEST(MatchRoutes, MethodCodesAndTexts) {
  const std::vector<Route> post{route("/p", 1, HttpMethod::kPost)};
  RouteMatch get = request("/p", HttpMethod::kGet);
  EXPECT_FALSE(matchRoutes(get, post));
  RouteMatch postRequest = request("/p", HttpMethod::kPost);
  EXPECT_TRUE(matchRoutes(postRequest, post));

  const std::vector<Route> any{route("/p", 1, HttpMethod::kAny)};
  for (std::uint32_t code = 0; code <= 8; ++code) {
    RouteMatch m = request("/p", httpMethodFromHost(code));
    EXPECT_TRUE(matchRoutes(m, any)) << code;
  }

  const std::vector<Route> other{route("/p", 1, HttpMethod::kOther, "PURGE")};
  RouteMatch purge = request("/p", HttpMethod::kOther);
  purge.methodText = "PURGE";
  EXPECT_TRUE(matchRoutes(purge, other));
  RouteMatch lock = request("/p", HttpMethod::kOther);
  lock.methodText = "LOCK";
  EXPECT_FALSE(matchRoutes(lock, other));
}

TEST(MatchRoutes, TemplateCharactersMatchOnlyThemselves) {
  const std::vector<Route> routes{route("/v1.0/{x}", 1)};
  RouteMatch wrong = request("/v1x0/a");
  EXPECT_FALSE(matchRoutes(wrong, routes));
  RouteMatch right = request("/v1.0/a");
  EXPECT_TRUE(matchRoutes(right, routes));
}

TEST(MatchRoutes, MegabyteTargetOnASmallStack) {
  const std::vector<Route> routes{route("/files/{+path}", 1)};
  bool matched = false;
  std::size_t captured = 0;
  ASSERT_TRUE(platform::runWithStack(256 * 1024, [&] {
    RouteMatch match = request("");
    match.target = "/files/";
    match.target.append(1000000, 'a');
    matched = matchRoutes(match, routes);
    if (matched) captured = match.captures.at("path").size();
  }));
  EXPECT_TRUE(matched);
  EXPECT_EQ(captured, 1000000u);
}

TEST(HttpMethod, NamesAndHostCodes) {
  EXPECT_EQ(methodName(HttpMethod::kGet), "GET");
  EXPECT_EQ(methodName(HttpMethod::kDelete), "DELETE");
  EXPECT_EQ(methodName(HttpMethod::kPut), "PUT");
  EXPECT_EQ(methodName(HttpMethod::kAny), "");
  EXPECT_EQ(methodName(HttpMethod::kOther), "");
  EXPECT_EQ(httpMethodFromHost(8), HttpMethod::kOther);
  EXPECT_EQ(httpMethodFromHost(9), HttpMethod::kAny);
  EXPECT_EQ(httpMethodFromHost(0xFFFFFFFFu), HttpMethod::kAny);
}

TEST(PercentDecode, EscapesPlusAndShortTails) {
  EXPECT_EQ(str(percentDecode("a%20b+c")), "a b c");
  EXPECT_EQ(str(percentDecode("50%")), "50");
  EXPECT_EQ(str(percentDecode("5%4")), "54");
  EXPECT_EQ(str(percentDecode("%41%42")), "AB");
  EXPECT_EQ(str(percentDecode("%e2%82%AC")), "\xe2\x82\xac");
  EXPECT_EQ(str(percentDecode("%00")), std::string(1, '\0'));
}

TEST(PercentDecode, ShortTailIsCopiedUndecoded) {
  EXPECT_EQ(str(percentDecode("a%+")), "a+");
  EXPECT_EQ(str(percentDecode("%%")), "%");
  EXPECT_EQ(str(percentDecode("%")), "");
  EXPECT_EQ(str(percentDecode("x+%+")), "x +");
  EXPECT_EQ(str(percentDecode("%41%")), "A");
}

TEST(PercentDecode, NonHexadecimalEscapeStaysLiteral) {
  EXPECT_EQ(str(percentDecode("100%zz")), "100%zz");
  EXPECT_EQ(str(percentDecode("%4g")), "%4g");
  EXPECT_EQ(str(percentDecode("%%41")), "%A");
}

TEST(OperationName, MethodAndPath) {
  EXPECT_EQ(str(operationName("GET", "/tev-purchase-widget/v1/configuration")),
            "GetTevPurchaseWidgetV1Configuration");
  EXPECT_EQ(str(operationName("GET", "/items/{id}")), "GetItemsById");
  EXPECT_EQ(str(operationName("POST", "/a_b.c!d+e")), "PostABCDE");
  EXPECT_EQ(str(operationName("", "tev-purchase-widget")), "TevPurchaseWidget");
  EXPECT_EQ(str(operationName("", "")), "");
}

}  // namespace
}  // namespace tev
