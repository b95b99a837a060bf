#include "purchase_widget/store_call.h"

#include "logging/format_message.h"

namespace tev::purchase_widget {
namespace {

constexpr std::string_view kValidatePath = "v1/validate";
constexpr std::string_view kPurchasePath = "v1/purchase";
constexpr std::string_view kLanguageQuery = "?language=";
constexpr std::string_view kBearer = "Bearer ";

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

void append(String& text, std::string_view piece) { text.append(piece.data(), piece.size()); }

CallResult failure(const String& message, std::int32_t status) {
  CallResult call;
  call.result.fail(message);
  call.status = status;
  return call;
}

}  // namespace

String percentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  String encoded;
  encoded.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (isUnreserved(c)) {
      encoded.push_back(ch);
    } else {
      encoded.push_back('%');
      encoded.push_back(kHex[c >> 4]);
      encoded.push_back(kHex[c & 0x0F]);
    }
  }
  return encoded;
}

String storeUrl(StoreOperation operation, std::string_view baseUrl, std::string_view locale) {
  // Built by concatenation rather than with the message formatter: that one cuts at 4095
  // characters, and a cut URL would reach some other address.
  String url = toString(baseUrl);
  if (operation == StoreOperation::kValidate) {
    append(url, kValidatePath);
    append(url, kLanguageQuery);
    // A locale is a text of the region plugin; unescaped, "&", "#" or "=" in it would rewrite
    // the query.
    append(url, percentEncode(locale));
  } else {
    append(url, kPurchasePath);
  }
  return url;
}

HeaderMap storeHeaders(std::string_view idToken) {
  HeaderMap headers;
  headers.emplace("Content-type", "application/json");
  // The whole token: a cut one is refused by the store as forged.
  String authorization = toString(kBearer);
  append(authorization, idToken);
  headers.emplace("Authorization", std::move(authorization));
  return headers;
}

CallResult mapStoreAnswer(const ExternalResponse& answer) {
  CallResult call;
  if (answer.error != 0) {
    call = failure(formatMessage("Could not connect to the server: %1", answer.message), 500);
  } else if (answer.status == 404) {
    call = failure(String("Not found"), 404);
  } else if (answer.status < 200 || answer.status >= 300) {
    call = failure(formatMessage("Received an error status from the server: %1 - %2", answer.status,
                                 answer.message),
                   500);
  } else if (answer.decodeError != 0) {
    call = failure(formatMessage("Could not decode body returned from the server: %1 - %2",
                                 answer.status, answer.message),
                   500);
  } else {
    call.result = BindingResult(answer.body);
  }
  // The store's own errors reach the front end as the store wrote them.
  if (answer.status >= 400) {
    call.result = BindingResult(answer.body);
    call.status = answer.status;
  }
  return call;
}

CallResult storeDisabledResult() { return failure(String("purchase widget not enabled"), 404); }

CallResult storeSerializationFailure() { return failure(String("error serializing request"), 500); }

}  // namespace tev::purchase_widget
