#include "plugin/plugin_core.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "binding/host_value_conversion.h"
#include "logging/format_message.h"
#include "plugin/internal/host_records.h"
#include "serialization/json_reader.h"

namespace tev {
namespace {

constexpr char kErrorResponse[] = "Error response for {method} {url}: {error}";
constexpr char kStreamError[] = "Error reading streamed response for {method} {url}: {error}";
constexpr char kConvertError[] = "Error converting response for {method} {url}: {error}";
constexpr char kParameterError[] =
    "Request not sent: Error converting parameters for {method} {url}: {error}";
constexpr char kStreamReadError[] = "Stream read error";
constexpr char kYieldLabel[] = "Wait: yield";

constexpr std::uint32_t kStreamChunk = 4096;
// The host's size hint is only a hint: a wild one must not reserve gigabytes up front.
constexpr std::uint64_t kMaxStreamReserve = std::uint64_t{16} << 20;

using plugin_internal::AnswerRelease;
using plugin_internal::HostParameterList;

std::uint32_t methodCode(HttpMethod method) { return static_cast<std::uint32_t>(method); }

// Calls the stream's release function, when the host set one, as the scope ends.
class StreamRelease {
 public:
  explicit StreamRelease(const HostLocalAnswer& answer) noexcept : answer_(answer) {}
  ~StreamRelease() {
    if (answer_.streamRelease != nullptr) answer_.streamRelease(answer_.streamContext);
  }
  StreamRelease(const StreamRelease&) = delete;
  StreamRelease& operator=(const StreamRelease&) = delete;

 private:
  const HostLocalAnswer& answer_;
};

}  // namespace

RemotingError PluginCore::conversionError(HttpMethod method, std::string_view target,
                                          std::string_view error) {
  return makeRemotingError(0, kConvertError, methodName(method), target, error);
}

ExternalResponse PluginCore::sendExternal(const ExternalRequest& request) {
  Vector<HostHeader> headers;
  headers.reserve(request.headers.size() + 1);
  const bool hasUserAgent =
      std::any_of(request.headers.begin(), request.headers.end(),
                  [](const auto& header) { return headerNameEquals(header.first, "user-agent"); });
  if (!hasUserAgent) headers.push_back(HostHeader{"user-agent", userAgent_.c_str()});
  for (const auto& [name, value] : request.headers) {
    headers.push_back(HostHeader{name.c_str(), value.c_str()});
  }
  HostExternalRequest record{};
  record.method = methodCode(request.method);
  record.url = request.url.c_str();
  record.headers = headers.data();
  record.headerCount = static_cast<std::uint32_t>(headers.size());
  record.body = reinterpret_cast<const std::uint8_t*>(request.body.data());
  record.bodyLength = static_cast<std::uint32_t>(request.body.size());
  record.parameter = request.parameter;
  record.flag = request.flag;
  HostExternalAnswer answer{};
  SendExternalRequest(answer, record);
  const AnswerRelease<HostExternalAnswer> release(answer);
  const String label = formatMessage("%1 %2", toString(methodName(request.method)), request.url);
  return convertExternalAnswer(answer, label, shortName_);
}

ExternalResponse PluginCore::postToUrl(std::string_view url, std::string_view body,
                                       std::uint32_t parameter, const HeaderMap& headers) {
  ExternalRequest request;
  request.method = HttpMethod::kPost;
  request.url = toString(url);
  request.headers = headers;
  request.body = toString(body);
  request.parameter = parameter;
  request.flag = 1;
  return sendExternal(request);
}

bool PluginCore::fetchValue(HttpMethod method, std::string_view target, BindingProperty& value,
                            RemotingError& error) {
  const String targetText = toString(target);
  HostLocalRequest request{};
  request.method = methodCode(method);
  request.target = targetText.c_str();
  request.pluginHandle = pluginHandle_;
  HostLocalAnswer answer{};
  SendLocalRequest(answer, request);
  const AnswerRelease<HostLocalAnswer> release(answer);
  const std::string_view methodText = methodName(method);
  if (answer.error != nullptr) {
    error = makeRemotingError(answer.status, kErrorResponse, methodText, target, answer.error);
    return false;
  }
  if (answer.read != nullptr) {
    String streamError;
    if (!readStream(answer, value, streamError)) {
      error = makeRemotingError(0, kStreamError, methodText, target, streamError);
      return false;
    }
    return true;
  }
  // The answer is packed: its value is copied out before anything binds a reference to it.
  HostValue result;
  std::memcpy(&result, &answer, sizeof result);
  HostResult outcome{};
  const bool converted = hostValueToProperty(outcome, value, result, "<result>");
  if (!converted) {
    error = makeRemotingError(0, kConvertError, methodText, target,
                              outcome.error != nullptr ? outcome.error : "");
  }
  clearHostResult(outcome);
  return converted;
}

bool PluginCore::readStream(const HostLocalAnswer& answer, BindingProperty& value, String& error) {
  const StreamRelease release(answer);
  String text;
  try {
    const std::uint64_t expectedSize = answer.expectedSize;
    text.reserve(static_cast<std::size_t>(std::min(expectedSize, kMaxStreamReserve)));
    char buffer[kStreamChunk];
    std::uint8_t more = 1;
    do {
      std::uint32_t length = kStreamChunk;
      more = 1;
      // A length beyond the buffer would have us append bytes the host never wrote.
      if (answer.read(answer.streamContext, buffer, &length, &more) == 0 || length > kStreamChunk) {
        error = kStreamReadError;
        return false;
      }
      text.append(buffer, length);
      if (length < kStreamChunk) {
        if (more == 0) break;
        BeginWait(kYieldLabel, 0);
        Yield();
        EndWait();
      }
    } while (more != 0);
  } catch (const std::bad_alloc&) {
    error = kStreamReadError;
    return false;
  } catch (const std::length_error&) {
    error = kStreamReadError;
    return false;
  }
  BindingResult parsed = parseJson(text.data(), text.size());
  if (!parsed.ok()) {
    error = toString(parsed.error());
    return false;
  }
  value = std::move(parsed.value());
  return true;
}

RemoteCallResult<> PluginCore::callWithParameters(HttpMethod method, std::string_view target,
                                                  const ParameterMap& parameters) {
  RemoteCallResult<> result;
  const std::string_view methodText = methodName(method);
  HostParameterList converted;
  converted.reserve(parameters.size());
  for (const auto& [name, value] : parameters) {
    HostLocalParameter& parameter = converted.append();
    parameter.name = name.c_str();
    if (!propertyToHostValue(parameter.value, value, registry_)) {
      result.error = makeRemotingError(
          400, kParameterError, methodText, target,
          formatMessage("Couldn't convert parameter '%1' to a host value.", name));
      result.failed = true;
      return result;
    }
  }
  const String targetText = toString(target);
  HostLocalRequest request{};
  request.method = methodCode(method);
  request.target = targetText.c_str();
  request.parameters = converted.size() != 0 ? converted.data() : nullptr;
  request.parameterCount = static_cast<std::uint32_t>(converted.size());
  request.pluginHandle = pluginHandle_;
  HostLocalAnswer answer{};
  SendLocalRequest(answer, request);
  const AnswerRelease<HostLocalAnswer> release(answer);
  if (answer.error != nullptr) {
    result.error =
        makeRemotingError(answer.status, kErrorResponse, methodText, target, answer.error);
    result.failed = true;
  } else if (answer.read != nullptr && answer.streamRelease != nullptr) {
    // No value is wanted, but a stream the host opened must still be given back.
    answer.streamRelease(answer.streamContext);
  }
  return result;
}

}  // namespace tev
