#include "plugin/external_request.h"

#include "binding/binding_result.h"
#include "logging/format_message.h"
#include "plugin/trace.h"
#include "serialization/json_reader.h"

namespace tev {
namespace {

std::string_view textOf(const char* text) { return text != nullptr ? text : std::string_view(); }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool headerNameEquals(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

ExternalResponse convertExternalAnswer(const HostExternalAnswer& answer, std::string_view label,
                                       std::string_view shortName) {
  ExternalResponse response;
  const String labelText = toString(label);
  const String name = toString(shortName);
  const std::string_view body = answer.body != nullptr
                                    ? std::string_view(answer.body, answer.bodyLength)
                                    : std::string_view();
  switch (answer.errorCode) {
    case 0:
    case 2:
    case -1:
      response.error = answer.errorCode;
      break;
    default:
      response.error = 1;
      break;
  }
  if (response.error != 0) {
    response.message = toString(body);
    trace("%s: Couldn't connect to %s: %d - %s", name.c_str(), labelText.c_str(),
          static_cast<int>(answer.errorCode), response.message.c_str());
    return response;
  }
  response.status = answer.status;
  const bool headersMissing = answer.headerCount > 0 && answer.headers == nullptr;
  if (headersMissing) {
    response.decodeError = 1;
    response.message =
        formatMessage("Error converting response for %1: headers was null", labelText);
    trace("%s: Couldn't convert external request headers to %s: %s", name.c_str(), "HeaderMap",
          response.message.c_str());
  } else {
    for (std::uint32_t i = 0; i < answer.headerCount; ++i) {
      response.headers.insert_or_assign(toString(textOf(answer.headers[i].name)),
                                        toString(textOf(answer.headers[i].value)));
    }
  }
  if (answer.body != nullptr && answer.bodyLength > 0) {
    BindingResult parsed = parseJson(answer.body, answer.bodyLength);
    if (parsed.ok()) {
      response.body = std::move(parsed.value());
      // A readable body does not make up for headers that were lost.
      response.decodeError = headersMissing ? 1 : 0;
    } else {
      response.decodeError = 1;
      response.message = formatMessage("Error deserializing json response for %1: %2", labelText,
                                       toString(parsed.error()));
      response.body.setString(body);
      trace("%s: Couldn't convert external request body to %s: %s", name.c_str(), "BindingProperty",
            response.message.c_str());
    }
  } else {
    response.decodeError = 1;
    response.message = formatMessage("Error converting response for %1: body was empty", labelText);
    trace("%s: Couldn't convert external request body to %s: %s", name.c_str(), "BindingProperty",
          response.message.c_str());
  }
  return response;
}

}  // namespace tev
