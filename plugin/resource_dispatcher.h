// Routes resource events to the handlers registered for their path: one handler per exact path
// and any number of path patterns in which "*" stands for one path segment. Owned by the plugin
// object; the tables take no lock, so registration and dispatch must not overlap.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/allocator.h"
#include "plugin/plugin_manager_types.h"
#include "plugin/shared_handler.h"

namespace tev {

class BindingRegistry;
class PluginCore;

// A handler of resource events; it also receives the registry to convert the event's data with.
using ResourceHandler = SharedHandler<const PluginResourceEvent&, const BindingRegistry*>;

// Whether `path` matches `pattern`, read left to right: "*" takes a run of characters without
// "/", which may be empty where a "/" follows it in both texts and must be non-empty at the end
// of the path; every other character must equal the path's. '/a/*/c' matches '/a/b/c' and
// '/a//c'; '/a/*' matches '/a/b' but neither '/a/' nor '/a/b/c'.
[[nodiscard]] bool matchesResourcePattern(std::string_view pattern, std::string_view path);

class ResourceDispatcher {
 public:
  // Every table starts with 8 buckets.
  ResourceDispatcher();

  // Sets the registry handed to handlers and the plugin object the dispatcher serves.
  void wire(const BindingRegistry* registry, PluginCore* plugin) noexcept {
    registry_ = registry;
    plugin_ = plugin;
  }

  // Registers `handler` for `path`: as a pattern when the path contains "*", otherwise for the
  // exact path; either replaces an earlier handler of the same text.
  void setHandler(std::string_view path, ResourceHandler handler);

  // Calls the exact handler of the event's uri (with "/" put in front when missing), then every
  // pattern handler whose pattern matches it, in table order.
  void dispatch(const PluginResourceEvent& event) const;

  [[nodiscard]] std::size_t exactCount() const noexcept { return exact_.size(); }
  [[nodiscard]] std::size_t patternCount() const noexcept { return patterns_.size(); }
  [[nodiscard]] PluginCore* plugin() const noexcept { return plugin_; }

 private:
  const BindingRegistry* registry_ = nullptr;
  StringMap<ResourceHandler> exact_;
  StringMap<ResourceHandler> patterns_;
  PluginCore* plugin_ = nullptr;
};

}  // namespace tev
