// A shared, type-erased callable whose state lives on the allocation hooks: the handlers that
// the event tables and the service-proxy tables hold. Copies share one callable, so a caller can
// keep the handler alive while it runs even if the table entry is replaced meanwhile.
// Not for hot paths that need no sharing: a plain template parameter is cheaper.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

#include "platform/allocator.h"

namespace tev {

template <typename... Args>
class SharedHandler {
 public:
  // An empty handler; calling it does nothing.
  SharedHandler() = default;

  // Wraps `function` (any callable taking Args...). Throws std::bad_alloc when the hooks fail.
  template <typename F>
  [[nodiscard]] static SharedHandler make(F&& function) {
    SharedHandler handler;
    handler.callable_ = makeShared<Holder<std::decay_t<F>>>(std::forward<F>(function));
    return handler;
  }

  explicit operator bool() const noexcept { return callable_ != nullptr; }

  void operator()(Args... args) const {
    if (callable_) callable_->call(std::forward<Args>(args)...);
  }

 private:
  struct Callable {
    virtual ~Callable() = default;
    virtual void call(Args... args) = 0;
  };

  template <typename F>
  struct Holder final : Callable {
    explicit Holder(F&& f) : function(std::move(f)) {}
    explicit Holder(const F& f) : function(f) {}
    void call(Args... args) override { function(std::forward<Args>(args)...); }
    F function;
  };

  std::shared_ptr<Callable> callable_;
};

}  // namespace tev
