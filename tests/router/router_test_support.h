// Test helpers for the router: a request record built from plain C++ values, the response read
// back into C++ values, and an invoker that records what it was given.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding/binding_property.h"
#include "binding/host_value_conversion.h"
#include "platform/host_boundary.h"
#include "router/call_context.h"
#include "router/call_result.h"
#include "router/dispatch.h"
#include "router/endpoint_invoker.h"
#include "serialization/json_writer.h"

namespace tev::testing {

inline std::string str(std::string_view text) { return std::string(text); }

// A field of a packed host record read by value: test macros bind references, which must not
// point at unaligned fields.
template <typename T>
T field(T value) {
  return value;
}

// A JSON text of a value; an empty value is "null" here so that absence shows.
inline std::string json(const BindingProperty& value) {
  if (value.isEmpty()) return "null";
  const String text = writeJson(value);
  return std::string(text.data(), text.size());
}

struct TestRequest {
  std::uint32_t method = 2;  // GET
  std::string target = "/f";
  std::string methodText;
  std::vector<std::pair<std::string, std::string>> headers;
  std::optional<std::string> contentType;
  std::optional<std::string> body;
  std::optional<std::size_t> bodyLength;  // defaults to the body's size
  std::vector<std::pair<std::optional<std::string>, BindingProperty>> arguments;
  void* handle = nullptr;
};

struct TestResponse {
  bool hasError = false;
  std::string error;
  std::int32_t status = 0;
  std::uint8_t flag = 0;
  std::uint32_t format = 0;
  std::string statusText;
  std::vector<std::pair<std::string, std::string>> headers;
  BindingProperty value;
  std::string valueJson;
};

// Holds the records of one request while it is sent.
class RequestRecord {
 public:
  explicit RequestRecord(const TestRequest& request, void* context = nullptr) : source_(request) {
    for (const auto& [name, value] : source_.headers) {
      headerRecords_.push_back(HostHeader{name.c_str(), value.c_str()});
    }
    for (const auto& [name, value] : source_.arguments) {
      HostLocalParameter parameter{};
      parameter.name = name ? name->c_str() : nullptr;
      EXPECT_TRUE(propertyToHostValue(parameter.value, value, nullptr));
      parameters_.push_back(parameter);
    }
    for (HostLocalParameter& parameter : parameters_) pointers_.push_back(&parameter);
    record_.method = source_.method;
    record_.target = source_.target.c_str();
    record_.arguments = pointers_.empty() ? nullptr : pointers_.data();
    record_.argumentCount = static_cast<std::uint32_t>(pointers_.size());
    record_.context = context;
    record_.headers = headerRecords_.empty() ? nullptr : headerRecords_.data();
    record_.headerCount = static_cast<std::uint32_t>(headerRecords_.size());
    record_.contentType = source_.contentType ? source_.contentType->c_str() : nullptr;
    if (source_.body) {
      record_.body = source_.body->data();
      record_.bodyLength =
          static_cast<std::uint32_t>(source_.bodyLength.value_or(source_.body->size()));
    }
    record_.requestHandle = source_.handle;
    record_.methodText = source_.methodText.c_str();
  }
  RequestRecord(const RequestRecord&) = delete;
  RequestRecord& operator=(const RequestRecord&) = delete;
  ~RequestRecord() {
    for (HostLocalParameter& parameter : parameters_) clearHostValue(parameter.value);
  }

  const HostEndpointRequest& record() const { return record_; }

 private:
  const TestRequest& source_;
  std::vector<HostHeader> headerRecords_;
  std::vector<HostLocalParameter> parameters_;
  std::vector<const HostLocalParameter*> pointers_;
  HostEndpointRequest record_{};
};

// Reads a response record into plain values; does not clean it up.
inline TestResponse readResponse(const HostEndpointResponse& record) {
  TestResponse response;
  response.hasError = record.hasError != 0;
  response.error = record.error != nullptr ? record.error : "";
  response.status = record.status;
  response.flag = record.flag;
  response.format = record.format;
  response.statusText = record.statusText != nullptr ? record.statusText : "(null)";
  for (std::uint32_t i = 0; i < record.headerCount; ++i) {
    response.headers.emplace_back(record.headers[i].name, record.headers[i].value);
  }
  HostValue value;
  std::memcpy(&value, &record, sizeof value);  // the value is the record's first 12 bytes
  HostResult outcome{};
  EXPECT_TRUE(hostValueToProperty(outcome, response.value, value, "<result>"));
  clearHostResult(outcome);
  response.valueJson = json(response.value);
  return response;
}

// Dispatches `request` against `routes` and returns the response, cleaned up afterwards.
inline TestResponse send(const TestRequest& request, std::span<const Route> routes) {
  RequestRecord record(request);
  HostEndpointResponse response{};
  dispatchRequest(response, record.record(), routes);
  TestResponse result = readResponse(response);
  EXPECT_EQ(field(response.cleanup), &cleanupResponse);
  response.cleanup(&response);
  return result;
}

// An invoker that keeps copies of the arguments and context it gets and answers with a
// structure of its arguments by name, or with what the test sets.
class RecordingInvoker final : public EndpointInvoker {
 public:
  struct Log {
    int prepares = 0;
    int calls = 0;
    int releases = 0;
    std::vector<std::string> arguments;  // JSON of each argument at prepare
    std::optional<CallContext> context;
  };

  RecordingInvoker(Log& log, bool wantsContext) : log_(log), wantsContext_(wantsContext) {}

  void* prepare(CallResult&, Vector<BindingProperty>& arguments, void*) override {
    ++log_.prepares;
    log_.arguments.clear();
    for (const BindingProperty& argument : arguments) log_.arguments.push_back(json(argument));
    return &log_;
  }
  void call(CallResult& result, const CallContext* context, void*, void*) override {
    ++log_.calls;
    if (context != nullptr) log_.context = *context;
    result.result.value().setString("called");
  }
  void release(void*) noexcept override { ++log_.releases; }
  const BindingTypeInfo& contextType() const override {
    return wantsContext_ ? bindingTypeInfo<CallContext>() : bindingTypeInfo<NoCallContext>();
  }
  void dispose() noexcept override { destroyObject(this); }

 private:
  Log& log_;
  bool wantsContext_;
};

inline EndpointInvokerPtr recordingInvoker(RecordingInvoker::Log& log, bool wantsContext = false) {
  return EndpointInvokerPtr(createObject<RecordingInvoker>(log, wantsContext));
}

}  // namespace tev::testing
