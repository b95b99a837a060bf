// Building routes: template text to expression, and the expression compiled. This runs when
// endpoints register, not per request, so the shipped library builds it for size.
#include "router/route.h"

#include <cstring>

namespace tev {

int RouteRegexTraits::value(char c, int radix) const {
  int digit = -1;
  if (c >= '0' && c <= '9') {
    digit = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    digit = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    digit = c - 'A' + 10;
  }
  return digit < radix ? digit : -1;
}

CompiledRouteTemplate compileRouteTemplate(std::string_view templateText) {
  CompiledRouteTemplate compiled;
  int kind = 0;  // 0 outside a placeholder, else the PlaceholderKind being collected
  String name;
  for (const char c : templateText) {
    if (kind == 0) {
      if (c == '{') {
        kind = 1;
      } else {
        if (std::strchr("^$.*+?()[]|\\", c) != nullptr) compiled.expression += '\\';
        compiled.expression += c;
      }
      continue;
    }
    if (c == '}') {
      compiled.expression += kind == 1 ? "([^/]*)" : kind == 2 ? "(.*)" : "#(.*)";
      compiled.placeholders.push_back({static_cast<PlaceholderKind>(kind), std::move(name)});
      name.clear();
      kind = 0;
    } else if (name.empty() && kind == 1 && c == '+') {
      kind = 2;
    } else if (name.empty() && kind == 1 && c == '#') {
      kind = 3;
    } else {
      name += c;
    }
  }
  return compiled;
}

Route Route::make(const BindingFunctionDescriptor* function, const Endpoint* endpoint,
                  std::string_view templateText, HttpMethod method, std::string_view methodText) {
  Route route;
  route.function = function;
  route.endpoint = endpoint;
  route.method = method;
  route.methodText = toString(methodText);
  if (templateText.find('{') == std::string_view::npos) {
    route.literalPath = toString(templateText);
    return route;
  }
  CompiledRouteTemplate compiled = compileRouteTemplate(templateText);
  // libstdc++'s default executor recurses once per character, so a long target would exhaust
  // the host thread's stack; the polynomial executor walks the input iteratively.
  constexpr auto kFlags =
      RouteRegex::ECMAScript | RouteRegex::optimize | std::regex_constants::__polynomial;
  route.expression = makeShared<const RouteRegex>(
      compiled.expression.data(), compiled.expression.data() + compiled.expression.size(), kFlags);
  route.placeholders = std::move(compiled.placeholders);
  return route;
}

}  // namespace tev
