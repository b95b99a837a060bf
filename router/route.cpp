#include "router/route.h"

#include <cstring>

#include "router/percent_decode.h"

namespace tev {

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
      std::regex::ECMAScript | std::regex::optimize | std::regex_constants::__polynomial;
  route.expression = makeShared<const std::regex>(
      compiled.expression.data(), compiled.expression.data() + compiled.expression.size(), kFlags);
  route.placeholders = std::move(compiled.placeholders);
  return route;
}

namespace {

using MatchResults = std::match_results<const char*, Allocator<std::csub_match>>;

bool pathMatches(const Route& route, const String& target, StringMap<String>& captures) {
  if (route.isLiteral()) return target == route.literalPath;
  MatchResults groups;
  if (!std::regex_match(target.data(), target.data() + target.size(), groups, *route.expression)) {
    return false;
  }
  for (std::size_t i = 1; i < groups.size() && i <= route.placeholders.size(); ++i) {
    const auto& group = groups[i];
    const std::string_view text(group.first, static_cast<std::size_t>(group.second - group.first));
    captures.insert_or_assign(route.placeholders[i - 1].name, percentDecode(text));
  }
  return true;
}

std::size_t capturedLength(const StringMap<String>& captures) {
  std::size_t total = 0;
  for (const auto& [name, value] : captures) total += value.size();
  return total;
}

}  // namespace

bool matchRoutes(RouteMatch& match, std::span<const Route> routes) {
  bool found = false;
  bool bestIsLiteral = false;
  std::size_t bestLength = 0;
  for (const Route& route : routes) {
    StringMap<String> captures;
    if (!pathMatches(route, match.target, captures)) continue;
    if (route.method != HttpMethod::kAny &&
        (match.method != route.method || match.methodText != route.methodText)) {
      continue;
    }
    const std::size_t length = capturedLength(captures);
    if (found && length >= bestLength) continue;
    found = true;
    bestLength = length;
    bestIsLiteral = captures.empty();
    match.function = route.function;
    match.endpoint = route.endpoint;
    match.captures = std::move(captures);
    if (bestIsLiteral) break;
  }
  return found;
}

}  // namespace tev
