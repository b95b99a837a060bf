// The descriptor of a registered function: its name, arguments, return type, help texts and
// flags, and the invoker that calls it. Owned by the BindingRegistry, at one address until the
// function is removed or the registry shuts down; the descriptor owns its invoker.
#pragma once

#include <cstdint>
#include <memory>

#include "binding/binding_type_identifier.h"
#include "platform/allocator.h"

namespace tev {

class BindingRegistry;

struct BindingFunctionArgument {
  String name;
  String description;
  BindingTypeIdentifier type;
  bool optional = false;
};

// The adapter that binds a registered function to native code. The registry only owns and
// disposes of it; the router derives the operations that call the function.
class BindingFunctionInvoker {
 public:
  // Destroys the invoker; it must not be used afterwards.
  virtual void dispose() noexcept = 0;

 protected:
  ~BindingFunctionInvoker() = default;
};

struct BindingFunctionInvokerDisposer {
  void operator()(BindingFunctionInvoker* invoker) const noexcept {
    if (invoker != nullptr) invoker->dispose();
  }
};

using BindingFunctionInvokerPtr =
    std::unique_ptr<BindingFunctionInvoker, BindingFunctionInvokerDisposer>;

struct BindingFunctionDescriptor {
  String name;
  String nameSpace;
  Vector<BindingFunctionArgument> arguments;
  BindingTypeIdentifier returnType;
  String description;
  String help;
  bool threadSafe = false;
  bool async = false;
  Vector<String> tags;
  BindingFunctionInvokerPtr invoker;
  BindingRegistry* registry = nullptr;
  // Distinct for every function its registry has created, so that a record kept elsewhere under
  // the descriptor's address can tell a later function at that same address from this one.
  std::uint64_t registration = 0;
};

}  // namespace tev
