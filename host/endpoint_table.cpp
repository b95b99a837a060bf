#include "host/endpoint_table.h"

#include <array>

namespace tev::devhost {
namespace {

constexpr std::array<const char*, 8> kMethodTexts = {"",        "DELETE", "GET",  "HEAD",
                                                     "OPTIONS", "PATCH",  "POST", "PUT"};

const char* textOrEmpty(const char* text) { return text != nullptr ? text : ""; }

// The same expression the plugin's router builds: "{name}" one segment, "{+name}" the rest of
// the path, "{#name}" a fragment; every other character matches itself.
std::string templateExpression(std::string_view pathTemplate) {
  std::string out;
  bool inside = false;
  bool nameStarted = false;
  int kind = 1;
  for (const char c : pathTemplate) {
    if (!inside) {
      if (c == '{') {
        inside = true;
        nameStarted = false;
        kind = 1;
      } else {
        if (std::string_view("^$.*+?()[]|\\").find(c) != std::string_view::npos)
          out.push_back('\\');
        out.push_back(c);
      }
      continue;
    }
    if (c == '}') {
      out.append(kind == 1 ? "([^/]*)" : kind == 2 ? "(.*)" : "#(.*)");
      inside = false;
    } else if (!nameStarted && kind == 1 && (c == '+' || c == '#')) {
      kind = c == '+' ? 2 : 3;
    } else {
      nameStarted = true;
    }
  }
  return out;
}

}  // namespace

std::uint32_t methodCode(std::string_view method) {
  for (std::uint32_t code = 1; code < kMethodTexts.size(); ++code) {
    if (method == kMethodTexts[code]) return code;
  }
  return kMethodOther;
}

const char* methodText(std::uint32_t code) {
  return code < kMethodTexts.size() ? kMethodTexts[code] : "";
}

std::string EndpointRoute::targetFor(std::string_view pathAndQuery) const {
  if (pathTemplate.empty() && !pathAndQuery.empty() && pathAndQuery.front() == '/') {
    pathAndQuery.remove_prefix(1);
  }
  return std::string(pathAndQuery);
}

EndpointTable::EndpointTable(const PluginApiTable* table) {
  if (table == nullptr || table->endpoints == nullptr) return;
  routes_.reserve(table->endpointCount);
  for (std::uint32_t i = 0; i < table->endpointCount; ++i) {
    const ApiEndpointEntry& entry = table->endpoints[i];
    if (entry.callback == nullptr) continue;
    EndpointRoute route;
    route.entry = &entry;
    route.name = textOrEmpty(entry.function.name);
    route.pathTemplate = textOrEmpty(entry.pathTemplate);
    route.httpPath = route.pathTemplate.empty() ? "/" + route.name : route.pathTemplate;
    route.method = entry.method <= kMethodOther ? entry.method : kMethodAny;
    route.methodText = textOrEmpty(entry.methodText);
    route.literal = route.pathTemplate.find('{') == std::string::npos;
    if (!route.literal) {
      try {
        route.pattern = std::regex(templateExpression(route.pathTemplate),
                                   std::regex::ECMAScript | std::regex::optimize);
      } catch (const std::regex_error&) {
        continue;  // the plugin's router cannot match it either
      }
    }
    routes_.push_back(std::move(route));
  }
}

EndpointTable::Match EndpointTable::find(std::uint32_t method, std::string_view text,
                                         std::string_view path) const {
  Match match;
  for (const bool literalPass : {true, false}) {
    for (const EndpointRoute& route : routes_) {
      if (route.literal != literalPass) continue;
      const bool pathMatches = route.literal
                                   ? path == route.httpPath
                                   : std::regex_match(path.begin(), path.end(), route.pattern);
      if (!pathMatches) continue;
      match.pathMatched = true;
      const bool methodMatches =
          route.method == kMethodAny ||
          (route.method == method && (method != kMethodOther || route.methodText == text));
      if (methodMatches) {
        match.route = &route;
        return match;
      }
      if (!match.allowed.empty()) match.allowed.append(", ");
      match.allowed.append(route.method == kMethodOther ? route.methodText
                                                        : methodText(route.method));
    }
  }
  return match;
}

}  // namespace tev::devhost
