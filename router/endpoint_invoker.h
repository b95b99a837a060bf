// The invoker: the adapter between the router and one function's native code. The router binds
// the request into one BindingProperty per argument, then calls prepare, call and release in
// that order on the request's thread. The function descriptor owns its invoker (dispose); the
// invoker must be safe to use from several host threads at once.
#pragma once

#include <memory>

#include "binding/binding_function_descriptor.h"
#include "binding/binding_property.h"
#include "binding/binding_type_info.h"
#include "platform/allocator.h"

namespace tev {

struct CallContext;
struct CallResult;

class EndpointInvoker : public BindingFunctionInvoker {
 public:
  // Converts the bound arguments (one per argument of the function, in order; the invoker may
  // move from them) for the call and returns the state that call and release take, or null.
  // A conversion failure fails result.result; call is then not made, release still is.
  virtual void* prepare(CallResult& result, Vector<BindingProperty>& arguments,
                        void* requestHandle) = 0;
  // Calls the function with the prepared state and leaves its outcome in `result`. `context`
  // is set exactly when contextType() is one of the request-context types.
  virtual void call(CallResult& result, const CallContext* context, void* state,
                    void* requestHandle) = 0;
  // Frees a state that prepare returned (never called with null).
  virtual void release(void* state) noexcept = 0;
  // The static type information of the context the function takes: CallContext, or
  // NoCallContext when it takes none.
  virtual const BindingTypeInfo& contextType() const = 0;

 protected:
  ~EndpointInvoker() = default;
};

using EndpointInvokerPtr = std::unique_ptr<EndpointInvoker, BindingFunctionInvokerDisposer>;

}  // namespace tev
