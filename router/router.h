// The local API router: the plugin's type registry together with its published endpoints, the
// request callback through which the host calls them, and the API table that describes both to
// the host. One per plugin; endpoint records live as long as the router, the table's arrays and
// endpoint contexts until the next buildApiTable. Register everything before building the table.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string_view>

#include "binding/binding_function_descriptor.h"
#include "binding/binding_help_records.h"
#include "binding/binding_registry.h"
#include "binding/binding_result.h"
#include "binding/binding_type_identifier.h"
#include "platform/allocator.h"
#include "platform/host_boundary.h"
#include "router/endpoint.h"
#include "router/endpoint_invoker.h"
#include "router/http_method.h"
#include "router/route.h"

namespace tev {

class Router;

namespace router_internal {
struct ApiTableStorage;
}  // namespace router_internal

// What the host passes back with each request of one endpoint: the way to its router and
// endpoint record, and the endpoint's route, compiled when the table is built.
struct EndpointContext {
  Router* router = nullptr;
  Endpoint* endpoint = nullptr;
  Route route;
};

// Everything needed to publish one function as an endpoint in one step.
struct EndpointDefinition {
  HttpMethod method = HttpMethod::kAny;
  std::string_view methodText;  // with kOther
  std::string_view path;        // a trailing '/' is dropped; empty: the name is the template
  std::string_view name;        // empty: operationName(method's text, path)
  Vector<BindingFunctionArgument> arguments;
  Vector<ArgumentLocation> locations;  // per argument; missing entries are kAny
  BindingTypeIdentifier returnType;
  std::string_view description;
  std::string_view nameSpace;
  std::span<const String> tags;  // given to the function and as the endpoint's one tag list
  std::uint8_t flag = 0;
};

class Router : public BindingRegistry {
 public:
  // An initialised registry (builtin types and events) without endpoints.
  Router();
  ~Router() override;

  // The endpoint record of `function`: the existing one, or a new empty one whose location list
  // has one kAny entry per argument. Thread-safe (endpoint mutex). The caller fills the new
  // record (invoker, path, method...) before the table is built. A record left over from a
  // removed function at the same address is emptied in place and returned as a new one.
  Endpoint& registerEndpoint(const BindingFunctionDescriptor& function);

  // Registers the function `definition` describes with `invoker` and returns its endpoint, filled
  // from the definition. When a function of that name exists already, the first registration
  // wins: the invoker is disposed of and the existing endpoint returned unchanged.
  Endpoint& addEndpoint(const EndpointDefinition& definition, EndpointInvokerPtr invoker);

  // Rebuilds the API table: one entry per endpoint whose function is still registered (in
  // function-name order) with its context and the request callback, then every registered type
  // and event (in name order). The previous table's arrays and contexts are freed, so never
  // rebuild while the host may read the table or call an endpoint.
  [[nodiscard]] PluginApiTable buildApiTable();

  // The API help of everything registered (functions, types, events) in `format`, into
  // `result`; fails when the help records cannot be converted.
  [[nodiscard]] bool describeApi(BindingResult& result, BindingHelpFormat format) const;

  // Publishes the API help as a GET endpoint at `path` with one optional argument "format"
  // (BindingHelpFormat by name or number; "Full" when absent) that answers the help value.
  Endpoint& publishApiHelp(std::string_view path);

  // The request callback of every endpoint entry: follows the request's context to its endpoint
  // and dispatches the request against that endpoint's route. A null context is answered
  // "Invalid function" with status 404.
  static void handleRequest(HostEndpointResponse* response, const HostEndpointRequest* request);

 private:
  // A record with the registration of the function it was filled for: a function registered
  // later at a freed descriptor's address finds the slot of the removed one.
  struct EndpointSlot {
    UniquePtr<Endpoint> record;
    std::uint64_t registration = 0;
  };
  using EndpointMap = HashMap<const BindingFunctionDescriptor*, EndpointSlot>;

  std::mutex endpointMutex_;
  EndpointMap endpoints_;
  StringMap<EndpointContext> contexts_;
  UniquePtr<router_internal::ApiTableStorage> table_;
};

}  // namespace tev
