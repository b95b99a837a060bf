// The outcome of one endpoint call as the invoker and the handler leave it: the value or error,
// the response's status, status text, headers and an optional streamed body. The router copies
// it into the host's response record; the body producer then passes to the host.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "binding/binding_result.h"
#include "platform/allocator.h"

namespace tev {

// A response body that the host pulls piece by piece instead of a value. Created by a handler,
// owned by the CallResult until the response is written, then by the host, which ends it with
// destroy(). read() and destroy() run on whichever host thread reads the body.
class ResponseBodyProducer {
 public:
  // Writes at most *length bytes into `buffer`, sets *length to the number written and *more
  // to whether more follows. Returns false on failure.
  virtual bool read(char* buffer, std::uint32_t* length, std::uint8_t* more) = 0;
  // The body's size in bytes as far as known (a capacity hint for the host).
  virtual std::uint32_t size() const = 0;
  // Frees the producer; it must not be used afterwards.
  virtual void destroy() noexcept = 0;

 protected:
  ~ResponseBodyProducer() = default;
};

struct ResponseBodyProducerDeleter {
  void operator()(ResponseBodyProducer* producer) const noexcept {
    if (producer != nullptr) producer->destroy();
  }
};

using ResponseBodyProducerPtr = std::unique_ptr<ResponseBodyProducer, ResponseBodyProducerDeleter>;

struct CallResult {
  BindingResult result;      // the value, or {"error": text} with the flag clear
  std::uint8_t flag = 0;     // passed to the host unchanged
  std::uint32_t format = 0;  // 1 to 3 reach the host; any other code is written as 0
  std::int32_t status = 0;   // 0 until the handler sets one: the host then chooses
  String statusText;
  OrderedMap<String, String, std::less<>> headers;
  ResponseBodyProducerPtr body;
};

}  // namespace tev
