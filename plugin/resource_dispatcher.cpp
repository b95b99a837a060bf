#include "plugin/resource_dispatcher.h"

#include <utility>

namespace tev {

bool matchesResourcePattern(std::string_view pattern, std::string_view path) {
  std::size_t p = 0;
  std::size_t q = 0;
  while (q < pattern.size() && p < path.size()) {
    if (pattern[q] == '*') {
      if (path[p] == '/') {
        ++q;
      } else {
        ++p;
        if (p == path.size()) ++q;
      }
    } else {
      if (pattern[q] != path[p]) return false;
      ++p;
      ++q;
    }
  }
  return p == path.size() && q == pattern.size();
}

ResourceDispatcher::ResourceDispatcher() : exact_(8), patterns_(8) {}

void ResourceDispatcher::setHandler(std::string_view path, ResourceHandler handler) {
  StringMap<ResourceHandler>& table = path.find('*') != std::string_view::npos ? patterns_ : exact_;
  auto found = table.find(path);
  if (found != table.end()) {
    found->second = std::move(handler);
  } else {
    table.emplace(toString(path), std::move(handler));
  }
}

void ResourceDispatcher::dispatch(const PluginResourceEvent& event) const {
  String path;
  if (event.uri.empty() || event.uri.front() != '/') path.push_back('/');
  path += event.uri;
  // Handlers are copied before they run: one may register another handler for its own path.
  auto exact = exact_.find(std::string_view(path));
  if (exact != exact_.end()) {
    const ResourceHandler handler = exact->second;
    handler(event, registry_);
  }
  Vector<ResourceHandler> matching;
  for (const auto& [pattern, handler] : patterns_) {
    if (matchesResourcePattern(pattern, path)) matching.push_back(handler);
  }
  for (const ResourceHandler& handler : matching) handler(event, registry_);
}

}  // namespace tev
