// Matching request targets against routes, once per request. Building routes, which compiles
// their expressions, is in route_build.cpp.
#include "router/route.h"

#include "router/percent_decode.h"

namespace tev {

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
