// The invoker of a native function: converts each bound argument to the function's parameter
// type (with the registry's descriptors), calls the function, and converts what it returns.
// The function may take `const CallContext&` first; it may return void, a native value, a
// BindingResult or a whole CallResult. The invoker owns a copy of the callable; the function
// descriptor owns the invoker.
#pragma once

#include <cassert>
#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "binding/binding_conversion.h"
#include "binding/binding_registry.h"
#include "binding/binding_traits.h"
#include "platform/allocator.h"
#include "router/call_context.h"
#include "router/call_result.h"
#include "router/endpoint_invoker.h"
#include "router/router.h"

namespace tev {

namespace router_internal {

template <typename Signature>
struct FunctionSignature;

template <typename R, typename... A>
struct FunctionSignature<R(A...)> {
  using Result = R;
  using Parameters = std::tuple<A...>;
};
template <typename R, typename... A>
struct FunctionSignature<R (*)(A...)> : FunctionSignature<R(A...)> {};
template <typename C, typename R, typename... A>
struct FunctionSignature<R (C::*)(A...)> : FunctionSignature<R(A...)> {};
template <typename C, typename R, typename... A>
struct FunctionSignature<R (C::*)(A...) const> : FunctionSignature<R(A...)> {};

template <typename F>
struct CallableSignature : FunctionSignature<decltype(&F::operator())> {};
template <typename R, typename... A>
struct CallableSignature<R (*)(A...)> : FunctionSignature<R(A...)> {};

template <typename Tuple>
struct TakesContext : std::false_type {};
template <typename First, typename... Rest>
struct TakesContext<std::tuple<First, Rest...>>
    : std::is_same<std::remove_cvref_t<First>, CallContext> {};

template <typename Tuple>
struct DropFirst;
template <typename First, typename... Rest>
struct DropFirst<std::tuple<First, Rest...>> {
  using type = std::tuple<Rest...>;
};

template <typename Tuple>
struct Decayed;
template <typename... A>
struct Decayed<std::tuple<A...>> {
  using Type = std::tuple<std::remove_cvref_t<A>...>;
};

template <typename F>
struct NativeSignature {
  using Signature = CallableSignature<std::decay_t<F>>;
  using Result = typename Signature::Result;
  static constexpr bool kTakesContext = TakesContext<typename Signature::Parameters>::value;
  using Parameters = typename Decayed<
      typename std::conditional_t<kTakesContext, DropFirst<typename Signature::Parameters>,
                                  std::type_identity<typename Signature::Parameters>>::type>::Type;
};

template <typename R>
BindingTypeIdentifier resultIdentifier(const BindingRegistry& registry) {
  if constexpr (std::is_void_v<R>) {
    return {};
  } else if constexpr (std::is_same_v<R, BindingResult> || std::is_same_v<R, CallResult>) {
    return {BindingBuiltinType::kObject};
  } else {
    return BindingTraits<R>::identifier(&registry);
  }
}

}  // namespace router_internal

template <typename F>
class NativeFunctionInvoker final : public EndpointInvoker {
  using Native = router_internal::NativeSignature<F>;
  using Arguments = typename Native::Parameters;
  static constexpr std::size_t kCount = std::tuple_size_v<Arguments>;

 public:
  // `names` gives the path of each parameter in conversion messages (the argument names).
  NativeFunctionInvoker(F function, const BindingRegistry& registry, Vector<String> names)
      : function_(std::move(function)), registry_(registry), names_(std::move(names)) {
    assert(names_.size() == kCount && "one name per native parameter");
  }

  void* prepare(CallResult& result, Vector<BindingProperty>& arguments, void*) override {
    if (arguments.size() < kCount || names_.size() < kCount) {
      result.result.fail("The function's arguments do not match its native parameters.");
      return nullptr;
    }
    auto* state = createObject<Arguments>();
    if (state == nullptr) {
      result.result.fail("Out of memory");
      return nullptr;
    }
    convertAll(result.result, arguments, *state, std::make_index_sequence<kCount>());
    return state;
  }

  void call(CallResult& result, const CallContext* context, void* state, void*) override {
    if (state == nullptr) return;
    auto& arguments = *static_cast<Arguments*>(state);
    if constexpr (Native::kTakesContext) {
      if (context == nullptr) {
        result.result.fail("The function needs a call context.");
        return;
      }
      finish(
          result, [&]<std::size_t... I>(std::index_sequence<I...>)->decltype(auto) {
            return function_(*context, std::move(std::get<I>(arguments))...);
          });
    } else {
      finish(
          result, [&]<std::size_t... I>(std::index_sequence<I...>)->decltype(auto) {
            return function_(std::move(std::get<I>(arguments))...);
          });
    }
  }

  void release(void* state) noexcept override { destroyObject(static_cast<Arguments*>(state)); }

  const BindingTypeInfo& contextType() const override {
    if constexpr (Native::kTakesContext) {
      return bindingTypeInfo<CallContext>();
    } else {
      return bindingTypeInfo<NoCallContext>();
    }
  }

  void dispose() noexcept override { destroyObject(this); }

 private:
  template <std::size_t... I>
  void convertAll(BindingResult& result, Vector<BindingProperty>& arguments, Arguments& native,
                  std::index_sequence<I...>) {
    ((void)convertToNative(result, arguments[I], std::get<I>(native), names_[I], &registry_), ...);
  }

  template <typename Invoke>
  void finish(CallResult& result, Invoke invoke) {
    using R = typename Native::Result;
    const auto sequence = std::make_index_sequence<kCount>();
    if constexpr (std::is_void_v<R>) {
      invoke(sequence);
    } else if constexpr (std::is_same_v<R, CallResult>) {
      result = invoke(sequence);
    } else if constexpr (std::is_same_v<R, BindingResult>) {
      result.result = invoke(sequence);
    } else {
      (void)convertToValue(result.result, invoke(sequence), &registry_);
    }
  }

  F function_;
  const BindingRegistry& registry_;
  Vector<String> names_;
};

// Makes the invoker of `function` with one argument name per native parameter.
template <typename F>
EndpointInvokerPtr makeNativeInvoker(const BindingRegistry& registry,
                                     std::initializer_list<std::string_view> names, F function) {
  Vector<String> owned;
  for (const std::string_view name : names) owned.push_back(toString(name));
  EndpointInvokerPtr invoker(
      createObject<NativeFunctionInvoker<F>>(std::move(function), registry, std::move(owned)));
  if (!invoker) throw std::bad_alloc();
  return invoker;
}

// Publishes `function` as an endpoint: the definition's arguments are made from the native
// parameters (named by `names`, typed by their native types, optional for std::optional) and
// its return type from the native result, unless the definition sets them already. The types
// the function uses must be registered first.
template <typename F>
Endpoint& addNativeEndpoint(Router& router, EndpointDefinition definition,
                            std::initializer_list<std::string_view> names, F function) {
  using Native = router_internal::NativeSignature<F>;
  using Arguments = typename Native::Parameters;
  if (definition.arguments.empty()) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      const std::string_view* name = names.begin();
      (definition.arguments.push_back(BindingFunctionArgument{
           toString(I < names.size() ? name[I] : std::string_view{}), String(),
           BindingTraits<std::tuple_element_t<I, Arguments>>::identifier(&router),
           BindingTraits<std::tuple_element_t<I, Arguments>>::kOptional}),
       ...);
    }
    (std::make_index_sequence<std::tuple_size_v<Arguments>>());
  }
  if (definition.returnType.type == BindingBuiltinType::kNone) {
    definition.returnType = router_internal::resultIdentifier<typename Native::Result>(router);
  }
  return router.addEndpoint(definition, makeNativeInvoker(router, names, std::move(function)));
}

}  // namespace tev
