// The subscription interface at the root of the plugin object: code that follows resources
// calls Subscribe and Unsubscribe with a resource path. The defaults do nothing; PluginCore
// implements them. Never destroyed through this interface.
#pragma once

#include "platform/allocator.h"

namespace tev {

class EventSubscriber {
 public:
  virtual void Subscribe(const String& name) { static_cast<void>(name); }
  virtual void Unsubscribe(const String& name) { static_cast<void>(name); }

 protected:
  EventSubscriber() = default;
  ~EventSubscriber() = default;
  EventSubscriber(const EventSubscriber&) = default;
  EventSubscriber& operator=(const EventSubscriber&) = default;
};

}  // namespace tev
