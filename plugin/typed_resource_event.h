// The record a feature's resource handler receives: the resource path, what happened to it, and
// its value converted to the feature's native type (a default value for a deletion). Plain value.
#pragma once

#include "platform/allocator.h"
#include "plugin/plugin_manager_types.h"

namespace tev {

template <typename T>
struct TypedResourceEvent {
  String uri;
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  T data{};
};

}  // namespace tev
