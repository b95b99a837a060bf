#include "binding/binding_builtin_types.h"

#include "binding/binding_field_registration.h"
#include "binding/binding_registry.h"

namespace tev {

namespace {

constexpr std::string_view kBuiltinTag = "$builtin";
constexpr std::string_view kAsyncTag = "async";
constexpr std::string_view kHelpTag = "help";

template <typename T>
BindingTypeBuilder registerBuiltin(BindingRegistry& registry, std::string_view name,
                                   std::string_view description,
                                   std::initializer_list<std::string_view> tags) {
  BindingTypeBuilder builder = registerBindingType<T>(registry, name);
  builder.setDescription(description).addTags(tags);
  return builder;
}

void registerAsyncAndEventTypes(BindingRegistry& registry) {
  registerBuiltin<BindingAsyncState>(registry, "BindingAsyncState",
                                     "Possible states of an asynchronous operation.",
                                     {kBuiltinTag, kAsyncTag})
      .addEnumerator("None", 0, "Invalid state")
      .addEnumerator("Running", 1, "The operation is in flight")
      .addEnumerator("Cancelling", 2, "A request to cancel the operation has been made")
      .addEnumerator("Cancelled", 3, "The operation was cancelled")
      .addEnumerator("Succeeded", 4, "The operation completed successfully")
      .addEnumerator("Failed", 5, "The operation encountered an error");

  {
    auto builder = registerBuiltin<BindingGenericEvent>(
        registry, "BindingGenericEvent", "Represents generic data for an event.", {kBuiltinTag});
    addBindingField(builder, "data", &BindingGenericEvent::data, 0, "Event data");
  }
  {
    auto builder = registerBuiltin<BindingCallbackEvent>(
        registry, "BindingCallbackEvent",
        "Represents the parameters of a call to a provided callback.", {kBuiltinTag});
    addBindingField(builder, "id", &BindingCallbackEvent::id, 0,
                    "ID of the callback being invoked");
    addBindingField(builder, "parameters", &BindingCallbackEvent::parameters, 0,
                    "Callback parameters");
  }
  {
    auto builder = registerBuiltin<BindingGenericAsyncEvent>(
        registry, "BindingGenericAsyncEvent", "Represents generic data for an asynchronous event.",
        {kBuiltinTag, kAsyncTag});
    addBindingField(builder, "asyncToken", &BindingGenericAsyncEvent::asyncToken, 0,
                    "Asynchronous operation token");
    addBindingField(builder, "data", &BindingGenericAsyncEvent::data, 0, "Event data");
  }
  {
    auto builder = registerBuiltin<BindingAsyncFailureEvent>(
        registry, "BindingAsyncFailureEvent", "Represents a failed asynchronous operation.",
        {kBuiltinTag, kAsyncTag});
    addBindingField(builder, "asyncToken", &BindingAsyncFailureEvent::asyncToken, 0,
                    "Asynchronous operation token");
    addBindingField(builder, "error", &BindingAsyncFailureEvent::error, 0, "Error message");
  }
  {
    auto builder = registerBuiltin<BindingAsyncCancelEvent>(
        registry, "BindingAsyncCancelEvent", "Represents a cancelled asynchronous operation.",
        {kBuiltinTag, kAsyncTag});
    addBindingField(builder, "asyncToken", &BindingAsyncCancelEvent::asyncToken, 0,
                    "Asynchronous operation token");
  }
  registry.registerEvent("OnCallback", registry.findType("BindingCallbackEvent"))
      .setDescription("Fired when a callback is invoked.")
      .addTag(kBuiltinTag);
}

void registerHelpTypes(BindingRegistry& registry) {
  const std::initializer_list<std::string_view> tags = {kBuiltinTag, kHelpTag};
  registerBuiltin<BindingHelpFormat>(registry, "BindingHelpFormat",
                                     "Help format for binding functions and types.", tags)
      .addEnumerator("Full", 1, "Native help format")
      .addEnumerator("Epytext", 2, "Python epytext format");
  {
    using R = BindingFullTypeIdentifier;
    auto builder = registerBuiltin<R>(registry, "BindingFullTypeIdentifier",
                                      "Describes the type of a value.", tags);
    addBindingField(builder, "type", &R::type);
    addBindingField(builder, "elementType", &R::elementType);
  }
  {
    using R = BindingFullArgumentHelp;
    auto builder = registerBuiltin<R>(registry, "BindingFullArgumentHelp",
                                      "Describes a function parameter.", tags);
    addBindingField(builder, "name", &R::name);
    addBindingField(builder, "description", &R::description);
    addBindingField(builder, "type", &R::type);
    addBindingField(builder, "optional", &R::optional);
  }
  {
    using R = BindingFullFunctionHelp;
    auto builder =
        registerBuiltin<R>(registry, "BindingFullFunctionHelp", "Describes a function.", tags);
    addBindingField(builder, "name", &R::name);
    addBindingField(builder, "nameSpace", &R::nameSpace);
    addBindingField(builder, "arguments", &R::arguments);
    addBindingField(builder, "returns", &R::returns);
    addBindingField(builder, "description", &R::description);
    addBindingField(builder, "help", &R::help);
    addBindingField(builder, "threadSafe", &R::threadSafe);
    addBindingField(builder, "async", &R::async);
    addBindingField(builder, "tags", &R::tags);
  }
  {
    using R = BindingFullEnumValueHelp;
    auto builder =
        registerBuiltin<R>(registry, "BindingFullEnumValueHelp", "Describes an enumerator.", tags);
    addBindingField(builder, "name", &R::name);
    addBindingField(builder, "description", &R::description);
    addBindingField(builder, "value", &R::value);
  }
  {
    using R = BindingFullFieldHelp;
    auto builder = registerBuiltin<R>(registry, "BindingFullFieldHelp",
                                      "Describes a member of a struct.", tags);
    addBindingField(builder, "name", &R::name);
    addBindingField(builder, "description", &R::description);
    addBindingField(builder, "offset", &R::offset);
    addBindingField(builder, "type", &R::type);
    addBindingField(builder, "optional", &R::optional);
  }
  {
    using R = BindingFullTypeHelp;
    auto builder = registerBuiltin<R>(registry, "BindingFullTypeHelp",
                                      "Describes a struct or enum type.", tags);
    addBindingField(builder, "name", &R::name);
    addBindingField(builder, "nameSpace", &R::nameSpace);
    addBindingField(builder, "size", &R::size);
    addBindingField(builder, "description", &R::description);
    addBindingField(builder, "tags", &R::tags);
    addBindingField(builder, "fields", &R::fields);
    addBindingField(builder, "values", &R::values);
  }
  {
    using R = BindingFullEventHelp;
    auto builder =
        registerBuiltin<R>(registry, "BindingFullEventHelp", "Describes an event.", tags);
    addBindingField(builder, "name", &R::name);
    addBindingField(builder, "nameSpace", &R::nameSpace);
    addBindingField(builder, "type", &R::type);
    addBindingField(builder, "description", &R::description);
    addBindingField(builder, "tags", &R::tags);
  }
  {
    using R = BindingFullApiHelp;
    auto builder = registerBuiltin<R>(registry, "BindingFullApiHelp",
                                      "Describes the exposed native API.", tags);
    addBindingField(builder, "functions", &R::functions);
    addBindingField(builder, "types", &R::types);
    addBindingField(builder, "events", &R::events);
  }
}

}  // namespace

void registerBuiltinBindingTypes(BindingRegistry& registry) {
  registerAsyncAndEventTypes(registry);
  registerHelpTypes(registry);
}

}  // namespace tev
