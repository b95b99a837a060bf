// The type registry: every record, enumeration, event and function a plugin exposes, by name and
// (for types) by type identifier. The registry owns its descriptors, which keep their addresses
// from registration until removal or shutdown, so lookups hand out plain pointers. The registry
// mutex guards the maps and the change counter only; it is never held while converters run.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>

#include "binding/binding_event_descriptor.h"
#include "binding/binding_function_descriptor.h"
#include "binding/binding_type_builder.h"
#include "binding/binding_type_descriptor.h"
#include "binding/binding_type_info.h"
#include "platform/allocator.h"

namespace tev {

class BindingRegistry {
 public:
  BindingRegistry();
  BindingRegistry(const BindingRegistry&) = delete;
  BindingRegistry& operator=(const BindingRegistry&) = delete;
  // Frees every descriptor, converter and invoker, initialised or not.
  virtual ~BindingRegistry();

  // Registers a record or enumeration under `name`. When the name is taken, returns a builder
  // over the existing descriptor with its existed mark set (the first registration wins).
  // Otherwise the new descriptor is indexed by name and, unless its identifier is the reserved
  // no-context identifier, by type identifier.
  BindingTypeBuilder registerType(std::uint32_t size, std::string_view name,
                                  const BindingTypeInfo& typeInfo, bool isEnumeration);
  // Registers an event; an existing name keeps its descriptor (existed mark set).
  BindingEventBuilder registerEvent(std::string_view name, const BindingTypeDescriptor* dataType);
  // Registers a function; an existing name keeps its descriptor, and `invoker` is disposed of.
  // Creating a function counts as a change.
  BindingFunctionBuilder registerFunction(std::string_view name,
                                          Vector<BindingFunctionArgument> arguments,
                                          BindingTypeIdentifier returnType,
                                          BindingFunctionInvokerPtr invoker);

  // Lookups; each returns null when nothing is registered under the key.
  const BindingTypeDescriptor* findType(std::string_view name) const;
  const BindingTypeDescriptor* findType(std::uint32_t typeIdentifier) const;
  const BindingEventDescriptor* findEvent(std::string_view name) const;
  const BindingFunctionDescriptor* findFunction(std::string_view name) const;

  // The name of the first enumerator (by name) of the enumeration with that type identifier
  // whose value is `value`; null when the type or the enumerator is unknown.
  const String* enumeratorName(std::uint32_t typeIdentifier, std::int32_t value) const;
  bool hasEnumeratorValue(std::uint32_t typeIdentifier, std::int32_t value) const;

  // Copies of the maps' contents, taken under the mutex, in no particular order.
  Vector<const BindingFunctionDescriptor*> functionSnapshot() const;
  Vector<const BindingEventDescriptor*> eventSnapshot() const;
  Vector<const BindingTypeDescriptor*> typeSnapshot() const;

  // Removes a function (disposing of its invoker) and counts a change; false when `function`
  // is not registered here. Not virtual, and nobody is told: a record that others keep for the
  // function (the router's endpoint record) stays as it is, and its owner recognises it as left
  // over by the descriptor's `registration` when that address is registered again. Anything that
  // must happen at removal itself needs a hook in this function, after the erase and outside the
  // mutex, where the invoker is disposed of.
  bool removeFunction(const BindingFunctionDescriptor* function);
  // Removes the event of that name; false when there is none.
  bool removeEvent(std::string_view name);

  // Shuts down when initialised, registers the builtin types and events, sets the flag.
  void initialize();
  // When initialised: removes every event, then every type, then every function; clears the flag.
  void shutdown();
  bool initialized() const;

  // Incremented whenever a function is registered or removed.
  std::uint32_t changeCounter() const;

 private:
  using NameKey = std::string_view;  // views the descriptor's own name
  template <typename D>
  using ByName = HashMap<NameKey, UniquePtr<D>, StringHash, StringEqual>;

  struct IdentifierHash {
    std::size_t operator()(std::uint32_t identifier) const noexcept;
  };

  mutable std::mutex mutex_;
  ByName<BindingFunctionDescriptor> functions_;
  ByName<BindingEventDescriptor> events_;
  ByName<BindingTypeDescriptor> types_;
  HashMap<std::uint32_t, const BindingTypeDescriptor*, IdentifierHash> typesByIdentifier_;
  std::uint32_t changeCounter_ = 0;
  std::uint64_t lastRegistration_ = 0;  // never reset, not even by shutdown
  bool initialized_ = false;
};

}  // namespace tev
