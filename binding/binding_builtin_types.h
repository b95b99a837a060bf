// The framework's builtin types that every registry starts with: the state of asynchronous
// operations, the generic, callback and asynchronous event records, and (in
// binding/binding_help_records.h) the help records. Registered by BindingRegistry::initialize;
// plain native records, owned by whoever holds them.
#pragma once

#include <cstdint>

#include "binding/binding_help_records.h"
#include "binding/binding_property.h"
#include "binding/binding_type_info.h"
#include "platform/allocator.h"

namespace tev {

class BindingRegistry;

enum class BindingAsyncState : std::int32_t {
  kNone = 0,
  kRunning = 1,
  kCancelling = 2,
  kCancelled = 3,
  kSucceeded = 4,
  kFailed = 5,
};

struct BindingGenericEvent {
  BindingProperty data;
};

struct BindingCallbackEvent {
  std::uint32_t id = 0;
  Vector<BindingProperty> parameters;
};

struct BindingGenericAsyncEvent {
  std::uint32_t asyncToken = 0;
  BindingProperty data;
};

struct BindingAsyncFailureEvent {
  std::uint32_t asyncToken = 0;
  String error;
};

struct BindingAsyncCancelEvent {
  std::uint32_t asyncToken = 0;
};

// Registers the builtin types and the event "OnCallback" into `registry`, in their fixed order.
// Names that are registered already are kept as they are.
void registerBuiltinBindingTypes(BindingRegistry& registry);

}  // namespace tev

TEV_BINDING_TYPE(tev::BindingAsyncState);
TEV_BINDING_TYPE(tev::BindingGenericEvent);
TEV_BINDING_TYPE(tev::BindingCallbackEvent);
TEV_BINDING_TYPE(tev::BindingGenericAsyncEvent);
TEV_BINDING_TYPE(tev::BindingAsyncFailureEvent);
TEV_BINDING_TYPE(tev::BindingAsyncCancelEvent);
