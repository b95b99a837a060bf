// The typed result an endpoint handler returns: a native value or an error text, with the
// response's flag, format, status, status text, headers and optional streamed body; the two
// standard error results; and the endpoint registration that turns a handler returning one into
// a router endpoint. Results are plain values owned by whoever holds them.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <tuple>
#include <utility>

#include "binding/binding_conversion.h"
#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/binding_traits.h"
#include "platform/allocator.h"
#include "router/call_result.h"
#include "router/native_invoker.h"
#include "router/router.h"

namespace tev {

template <typename T>
struct RemotingTypedResult {
  T value{};     // meaningful when `succeeded`
  String error;  // meaningful when not `succeeded`
  std::uint8_t responseFlag = 0;
  std::uint32_t responseFormat = 0;
  std::int32_t status = 0;  // 0 leaves the choice to the host
  String statusText;
  OrderedMap<String, String, std::less<>> headers;
  ResponseBodyProducerPtr body;
  bool succeeded = false;
};

// A successful result holding `value`.
template <typename T>
[[nodiscard]] RemotingTypedResult<T> RemotingSuccess(T value) {
  RemotingTypedResult<T> result;
  result.value = std::move(value);
  result.succeeded = true;
  return result;
}

// A failed result with status 500 and `text`, or "Internal server error" when it is empty.
template <typename T = BindingProperty>
[[nodiscard]] RemotingTypedResult<T> InternalServerError(std::string_view text = {}) {
  RemotingTypedResult<T> result;
  result.error = text.empty() ? String("Internal server error") : toString(text);
  result.status = 500;
  return result;
}

// A failed result with status 404 and `text`, or "Not found" when it is empty.
template <typename T = BindingProperty>
[[nodiscard]] RemotingTypedResult<T> NotFound(std::string_view text = {}) {
  RemotingTypedResult<T> result;
  result.error = text.empty() ? String("Not found") : toString(text);
  result.status = 404;
  return result;
}

// The router's call result for a typed result: the value converted with T's descriptor (from
// `registry`) when it succeeded, else the error text; then the flag, format, status, status text,
// headers and body taken over. A value that does not convert fails with the conversion's error.
template <typename T>
[[nodiscard]] CallResult toCallResult(RemotingTypedResult<T>&& typed,
                                      const BindingRegistry* registry) {
  CallResult call;
  if (typed.succeeded) {
    static_cast<void>(convertToValue(call.result, typed.value, registry));
  } else {
    call.result.fail(typed.error);
  }
  call.flag = typed.responseFlag;
  call.format = typed.responseFormat;
  call.status = typed.status;
  call.statusText = std::move(typed.statusText);
  call.headers = std::move(typed.headers);
  call.body = std::move(typed.body);
  return call;
}

namespace plugin_internal {

template <typename Result>
struct TypedResultValue;
template <typename T>
struct TypedResultValue<RemotingTypedResult<T>> {
  using Type = T;
};

// Calls a handler that returns a RemotingTypedResult and hands the router its CallResult. Takes
// exactly the handler's parameters, so the router binds and converts them as it would the
// handler's own.
template <typename F, typename Parameters>
class TypedResultAdapter;

template <typename F, typename... A>
class TypedResultAdapter<F, std::tuple<A...>> {
 public:
  TypedResultAdapter(F function, const BindingRegistry& registry)
      : function_(std::move(function)), registry_(&registry) {}

  CallResult operator()(A... arguments) {
    return toCallResult(function_(std::forward<A>(arguments)...), registry_);
  }

 private:
  F function_;
  const BindingRegistry* registry_;
};

}  // namespace plugin_internal

// Publishes `handler`, which returns a RemotingTypedResult<T>, as an endpoint of `router`: its
// arguments come from the handler's parameters (named by `names`) and its declared return type
// is T unless the definition sets one. The types involved must be registered first.
template <typename F>
Endpoint& addTypedEndpoint(Router& router, EndpointDefinition definition,
                           std::initializer_list<std::string_view> names, F handler) {
  using Signature = router_internal::CallableSignature<std::decay_t<F>>;
  using Value = typename plugin_internal::TypedResultValue<
      std::remove_cvref_t<typename Signature::Result>>::Type;
  if (definition.returnType.type == BindingBuiltinType::kNone) {
    definition.returnType = BindingTraits<Value>::identifier(&router);
  }
  using Adapter =
      plugin_internal::TypedResultAdapter<std::decay_t<F>, typename Signature::Parameters>;
  return addNativeEndpoint(router, std::move(definition), names,
                           Adapter(std::move(handler), router));
}

}  // namespace tev
