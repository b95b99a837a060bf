#include "router/dispatch.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "binding/binding_function_descriptor.h"
#include "binding/host_value_conversion.h"
#include "logging/format_message.h"
#include "platform/allocator.h"
#include "platform/clock.h"
#include "router/argument_binding.h"
#include "router/call_context.h"
#include "router/endpoint.h"
#include "router/endpoint_invoker.h"
#include "router/request_values.h"
#include "router/text_decoding.h"

namespace tev {

namespace {

// An empty status text is this shared one, which cleanup knows not to free.
char kSharedEmptyText[1] = {'\0'};

std::string_view textOf(const char* text) { return text == nullptr ? std::string_view{} : text; }

// A NUL-terminated copy on the allocation hooks; null when memory runs out.
char* copyText(std::string_view text) {
  auto* copy = static_cast<char*>(hookedAllocate(text.size() + 1));
  if (copy == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

String lowerCase(std::string_view text) {
  String lower = toString(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::uint8_t readBody(void* producer, char* buffer, std::uint32_t* length, std::uint8_t* more) {
  if (producer == nullptr) return 0;
  // The host calls this directly: a producer's exception must end here, as a failed read.
  try {
    return static_cast<ResponseBodyProducer*>(producer)->read(buffer, length, more) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

void releaseBody(void* producer) {
  if (producer != nullptr) static_cast<ResponseBodyProducer*>(producer)->destroy();
}

// The response's host value sits at an unaligned place in the packed record; it is moved in and
// out by bytes.
void storeValue(HostEndpointResponse& response, const HostValue& value) {
  std::memcpy(reinterpret_cast<char*>(&response) + offsetof(HostEndpointResponse, result), &value,
              sizeof value);
}

HostValue loadValue(const HostEndpointResponse& response) {
  HostValue value;
  std::memcpy(&value,
              reinterpret_cast<const char*>(&response) + offsetof(HostEndpointResponse, result),
              sizeof value);
  return value;
}

void answerWithError(HostEndpointResponse& response, std::string_view message,
                     std::int32_t status) {
  CallResult call;
  call.result.fail(message);
  call.status = status;
  writeResponse(response, call, nullptr);
}

// The answer after an exception. Building the error value may itself run out of memory; the
// record is then marked failed without a text, which needs no allocation.
void answerAfterException(HostEndpointResponse& response, std::string_view message) noexcept {
  cleanupResponse(&response);
  try {
    answerWithError(response, message, 500);
  } catch (...) {
    cleanupResponse(&response);
    response.hasError = 1;
    response.status = 500;
    response.statusText = kSharedEmptyText;
    response.cleanup = &cleanupResponse;
  }
}

// Frees the invoker's state on every way out of a dispatch.
class PreparedState {
 public:
  explicit PreparedState(EndpointInvoker& invoker) : invoker_(invoker) {}
  PreparedState(const PreparedState&) = delete;
  PreparedState& operator=(const PreparedState&) = delete;
  ~PreparedState() {
    if (state_ != nullptr) invoker_.release(state_);
  }
  void* get() const { return state_; }
  void set(void* state) { state_ = state; }

 private:
  EndpointInvoker& invoker_;
  void* state_ = nullptr;
};

void bindDirectArguments(BindingResult& result, const HostEndpointRequest& request,
                         const ArgumentIndex& index, const BindingFunctionDescriptor& function,
                         std::size_t captureCount, Vector<BindingProperty>& arguments) {
  if (request.arguments == nullptr) return;
  for (std::uint32_t i = 0; i < request.argumentCount && result.ok(); ++i) {
    const HostLocalParameter* entry = request.arguments[i];
    if (entry == nullptr) continue;
    std::optional<std::size_t> position;
    if (entry->name != nullptr) {
      position = index.find(entry->name);
    } else {
      position = static_cast<std::size_t>(i) + captureCount;
    }
    if (!position || *position >= arguments.size()) {
      const String name = entry->name != nullptr ? toString(entry->name) : formatMessage("%1", i);
      result.fail(formatMessage("Unknown argument '%1' for '%2'.", name, function.name));
      return;
    }
    HostResult outcome{};
    if (!hostValueToProperty(outcome, arguments[*position], entry->value,
                             function.arguments[*position].name)) {
      result.fail(textOf(outcome.error));
    }
    clearHostResult(outcome);
  }
}

void decodeRequestBody(BindingResult& result, const HostEndpointRequest& request,
                       const Endpoint& endpoint, Vector<BindingProperty>& arguments) {
  if (request.body == nullptr) return;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (endpoint.location(i) != ArgumentLocation::kBody) continue;
    (void)decodeBody(result, arguments[i], textOf(request.contentType), request.body,
                     request.bodyLength);
    return;
  }
}

void dispatchMatched(HostEndpointResponse& response, const HostEndpointRequest& request,
                     RouteMatch& match) {
  const BindingFunctionDescriptor& function = *match.function;
  const Endpoint& endpoint = *match.endpoint;
  EndpointInvoker& invoker = *endpoint.invoker;

  StringMap<String> headers;
  if (request.headers != nullptr) {
    for (std::uint32_t i = 0; i < request.headerCount; ++i) {
      headers.insert_or_assign(toString(textOf(request.headers[i].name)),
                               toString(textOf(request.headers[i].value)));
    }
  }
  RequestValueMap headerArguments;
  for (std::size_t i = 0; i < function.arguments.size(); ++i) {
    const ArgumentLocation location = endpoint.location(i);
    if (location != ArgumentLocation::kAny && location != ArgumentLocation::kHeader) continue;
    const auto found = headers.find(std::string_view(lowerCase(function.arguments[i].name)));
    if (found != headers.end()) headerArguments.set(function.arguments[i].name, found->second);
  }
  const RequestValueMap query = parseQuery(match.target);

  CallResult call;
  Vector<BindingProperty> arguments;
  const ArgumentIndex index(function);
  ArgumentBinding binding{function, endpoint.locations, index, arguments};
  if (bindArguments(call.result, binding, headerArguments, match.captures, query)) {
    bindDirectArguments(call.result, request, index, function, match.captures.size(), arguments);
  }
  decodeRequestBody(call.result, request, endpoint, arguments);

  PreparedState state(invoker);
  if (call.result.ok()) state.set(invoker.prepare(call, arguments, request.requestHandle));
  if (call.result.ok()) {
    if (isRequestContextType(invoker.contextType().identifier)) {
      CallContext context;
      context.requestHandle = request.requestHandle;
      context.time = platform::wallClockTicks();
      context.registry = function.registry;
      context.method = match.method;
      context.methodText = match.methodText;
      context.target = match.target;
      context.headers = std::move(headers);
      invoker.call(call, &context, state.get(), request.requestHandle);
    } else {
      invoker.call(call, nullptr, state.get(), request.requestHandle);
    }
  }
  writeResponse(response, call, function.registry);
}

}  // namespace

void dispatchRequest(HostEndpointResponse& response, const HostEndpointRequest& request,
                     std::span<const Route> routes) {
  cleanupResponse(&response);
  response.cleanup = &cleanupResponse;
  // Native code below may throw (memory, a handler's own exceptions); the host must only ever
  // see a response.
  try {
    RouteMatch match;
    match.method = httpMethodFromHost(request.method);
    if (match.method == HttpMethod::kOther) match.methodText = toString(textOf(request.methodText));
    match.target = toString(textOf(request.target));
    if (!matchRoutes(match, routes) || match.function == nullptr || match.endpoint == nullptr ||
        match.endpoint->invoker == nullptr) {
      answerWithError(response, "Invalid function", 404);
      return;
    }
    dispatchMatched(response, request, match);
  } catch (const std::bad_alloc&) {
    answerAfterException(response, "Out of memory");
  } catch (const std::exception& error) {
    answerAfterException(response, error.what());
  } catch (...) {
    answerAfterException(response, "Unknown error");
  }
}

void writeResponse(HostEndpointResponse& response, CallResult& call,
                   const BindingRegistry* registry) {
  std::int32_t status = call.status;
  HostValue value{};
  if (!call.result.ok()) {
    response.error = copyText(call.result.error());
    response.hasError = 1;
  } else if (!propertyToHostValue(value, call.result.value(), registry)) {
    status = 400;
  }
  storeValue(response, value);
  response.flag = call.flag;
  response.format = call.format >= 1 && call.format <= 3 ? call.format : 0;
  response.status = status;
  response.statusText = call.statusText.empty() ? kSharedEmptyText : copyText(call.statusText);
  if (!call.headers.empty()) {
    auto* headers =
        static_cast<HostHeader*>(hookedAllocate(call.headers.size() * sizeof(HostHeader)));
    if (headers != nullptr) {
      std::uint32_t count = 0;
      for (const auto& [name, text] : call.headers) {
        headers[count].name = copyText(name);
        headers[count].value = copyText(text);
        ++count;
      }
      response.headers = headers;
      response.headerCount = count;
    }
  }
  if (call.body != nullptr) {
    response.readBody = &readBody;
    response.releaseBody = &releaseBody;
    response.bodySize = call.body->size();
    response.bodyProducer = call.body.release();
  }
  response.cleanup = &cleanupResponse;
}

void cleanupResponse(HostEndpointResponse* response) {
  if (response == nullptr) return;
  HostValue value = loadValue(*response);
  clearHostValue(value);
  hookedFree(response->error);
  if (response->statusText != kSharedEmptyText) {
    hookedFree(const_cast<char*>(response->statusText));
  }
  if (response->headers != nullptr) {
    for (std::uint32_t i = 0; i < response->headerCount; ++i) {
      hookedFree(const_cast<char*>(response->headers[i].name));
      hookedFree(const_cast<char*>(response->headers[i].value));
    }
    hookedFree(response->headers);
  }
  std::memset(static_cast<void*>(response), 0, sizeof *response);
}

}  // namespace tev
