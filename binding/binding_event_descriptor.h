// The descriptor of a registered event: its name, the record that carries its data, and the
// texts that help shows. Owned by the BindingRegistry, at one address until it shuts down or the
// event is removed.
#pragma once

#include "binding/binding_type_descriptor.h"
#include "platform/allocator.h"

namespace tev {

struct BindingEventDescriptor {
  String name;
  const BindingTypeDescriptor* dataType = nullptr;  // null when registered without one
  String nameSpace;
  String description;
  Vector<String> tags;
};

}  // namespace tev
