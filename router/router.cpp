#include "router/router.h"

#include <optional>
#include <utility>

#include "binding/binding_help.h"
#include "router/dispatch.h"
#include "router/internal/api_table_storage.h"
#include "router/native_invoker.h"
#include "router/operation_name.h"

namespace tev {

Router::Router() { initialize(); }

Router::~Router() = default;

Endpoint& Router::registerEndpoint(const BindingFunctionDescriptor& function) {
  std::lock_guard lock(endpointMutex_);
  EndpointSlot& slot = endpoints_[&function];
  if (slot.record == nullptr) {
    slot.record = makeUnique<Endpoint>();
    if (slot.record == nullptr) throw std::bad_alloc();
  } else if (slot.registration != function.registration) {
    // The record was filled for a function since removed from the registry, whose descriptor
    // this one now occupies. Its invoker was disposed of with that function and its path,
    // locations and tags describe that function, so none of it may carry over. The record is
    // emptied where it is rather than freed: a table built earlier still points at it.
    *slot.record = Endpoint();
  } else {
    return *slot.record;
  }
  slot.registration = function.registration;
  slot.record->function = &function;
  slot.record->locations.assign(function.arguments.size(), ArgumentLocation::kAny);
  return *slot.record;
}

Endpoint& Router::addEndpoint(const EndpointDefinition& definition, EndpointInvokerPtr invoker) {
  std::string_view path = definition.path;
  if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  String name = toString(definition.name);
  if (name.empty()) {
    const std::string_view prefix = definition.method == HttpMethod::kOther
                                        ? definition.methodText
                                        : methodName(definition.method);
    name = operationName(prefix, path);
  }

  EndpointInvoker* endpointInvoker = invoker.get();
  BindingFunctionBuilder builder =
      registerFunction(name, definition.arguments, definition.returnType,
                       BindingFunctionInvokerPtr(invoker.release()));
  const BindingFunctionDescriptor& function = builder.descriptor();
  Endpoint& endpoint = registerEndpoint(function);
  if (builder.existed()) return endpoint;

  builder.setDescription(definition.description)
      .setNameSpace(definition.nameSpace)
      .addTags(definition.tags);
  endpoint.invoker = endpointInvoker;
  endpoint.pathTemplate = toString(path);
  endpoint.method = definition.method;
  endpoint.methodText =
      definition.method == HttpMethod::kOther ? toString(definition.methodText) : String();
  endpoint.flag = definition.flag;
  if (!definition.tags.empty()) {
    endpoint.tagLists.emplace_back(definition.tags.begin(), definition.tags.end());
  }
  for (std::size_t i = 0; i < endpoint.locations.size() && i < definition.locations.size(); ++i) {
    endpoint.locations[i] = definition.locations[i];
  }
  return endpoint;
}

bool Router::describeApi(BindingResult& result, BindingHelpFormat format) const {
  return buildBindingHelp(result, format, *this);
}

Endpoint& Router::publishApiHelp(std::string_view path) {
  EndpointDefinition definition;
  definition.method = HttpMethod::kGet;
  definition.path = path;
  definition.description = "Describes the plugin's functions, types and events.";
  return addNativeEndpoint(*this, std::move(definition), {"format"},
                           [this](std::optional<BindingHelpFormat> format) {
                             BindingResult help;
                             (void)describeApi(help, format.value_or(BindingHelpFormat::kFull));
                             return help;
                           });
}

void Router::handleRequest(HostEndpointResponse* response, const HostEndpointRequest* request) {
  if (response == nullptr) return;
  const auto* context =
      request == nullptr ? nullptr : static_cast<const EndpointContext*>(request->context);
  if (context == nullptr) {
    // Still a well-formed response: the host cleans it up like any other.
    static const HostEndpointRequest kNoRequest{};
    dispatchRequest(*response, request == nullptr ? kNoRequest : *request, {});
    return;
  }
  dispatchRequest(*response, *request, std::span<const Route>(&context->route, 1));
}

}  // namespace tev
