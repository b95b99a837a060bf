// A route: one endpoint's path template compiled for matching request targets, either a literal
// compared byte for byte or a regular expression with named placeholders. Routes are built once
// when endpoints register and are read-only afterwards; the compiled expression is shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <regex>
#include <span>
#include <string_view>

#include "platform/allocator.h"
#include "router/http_method.h"

namespace tev {

struct BindingFunctionDescriptor;
struct Endpoint;

enum class PlaceholderKind : std::uint8_t {
  kSegment = 1,   // {name}: one path segment
  kRest = 2,      // {+name}: the rest of the path, slashes included
  kFragment = 3,  // {#name}: a fragment after '#'
};

struct RoutePlaceholder {
  PlaceholderKind kind;
  String name;
};

struct CompiledRouteTemplate {
  String expression;  // ECMAScript, matched against the whole target
  Vector<RoutePlaceholder> placeholders;
};

// The traits of route expressions: the standard ones, but a digit's value (for counted
// repetitions, back-references and escapes) is read directly. The standard traits read it through
// a string stream, which alone draws the whole stream library into the plugin.
struct RouteRegexTraits : std::regex_traits<char> {
  // The digit `c` stands for in base 8, 10 or 16; -1 when it is none.
  int value(char c, int radix) const;
};
using RouteRegex = std::basic_regex<char, RouteRegexTraits>;

// Compiles '/items/{id}' to '/items/([^/]*)', '{+path}' to '(.*)' and '{#anchor}' to '#(.*)';
// regular-expression characters of the template match only themselves.
CompiledRouteTemplate compileRouteTemplate(std::string_view templateText);

struct Route {
  const BindingFunctionDescriptor* function = nullptr;
  const Endpoint* endpoint = nullptr;
  HttpMethod method = HttpMethod::kAny;          // kAny: every method passes
  String methodText;                             // compared as well; empty unless method is kOther
  String literalPath;                            // set when the template has no '{'
  std::shared_ptr<const RouteRegex> expression;  // set otherwise
  Vector<RoutePlaceholder> placeholders;

  bool isLiteral() const { return expression == nullptr; }

  // Builds the route of an endpoint; a template without '{' gives a literal route.
  static Route make(const BindingFunctionDescriptor* function, const Endpoint* endpoint,
                    std::string_view templateText, HttpMethod method, std::string_view methodText);
};

// One request being matched: the inputs, then the best route found and its decoded captures.
struct RouteMatch {
  HttpMethod method = HttpMethod::kAny;
  String methodText;
  String target;  // as the host gave it, query included
  const BindingFunctionDescriptor* function = nullptr;
  const Endpoint* endpoint = nullptr;
  StringMap<String> captures;
};

// Tries the routes in order and keeps the match whose captured values are shortest in total
// (ties keep the earlier route); stops at the first literal match. Returns whether a route
// matched. Matching does not recurse per character, so targets of any length are safe.
[[nodiscard]] bool matchRoutes(RouteMatch& match, std::span<const Route> routes);

}  // namespace tev
