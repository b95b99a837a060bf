// One call to the store service on behalf of the validateItems and purchaseItems endpoints: the
// refusal while the widget is disabled, the URL, the headers and the JSON body, and the mapping
// of the store's answer to the endpoint's result. Stateless; the widget's state comes in as a
// snapshot taken once per call, and the transport is the caller's.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "binding/binding_conversion.h"
#include "binding/binding_registry.h"
#include "binding/binding_result.h"
#include "platform/allocator.h"
#include "plugin/external_request.h"
#include "router/call_result.h"
#include "serialization/json_writer.h"

namespace tev::purchase_widget {

// What a store call reads of the widget's state, copied at once so that one call sees one
// consistent state.
struct StoreSnapshot {
  bool enabled = false;
  String baseUrl;
  String locale;
  String idToken;
};

enum class StoreOperation { kValidate, kPurchase };

// The request parameter and flag every store call hands to the host.
inline constexpr std::uint32_t kStoreRequestParameter = 20;

// `text` with every byte outside the unreserved set (letters, digits, "-", ".", "_", "~") written
// as "%" and two upper-case hex digits, so it can stand as one query value.
[[nodiscard]] String percentEncode(std::string_view text);

// The store URL of `operation`: the base URL as it stands followed by "v1/validate?language="
// and the percent-encoded locale, or by "v1/purchase". Nothing is cut, however long.
[[nodiscard]] String storeUrl(StoreOperation operation, std::string_view baseUrl,
                              std::string_view locale);

// "Content-type: application/json" and "Authorization: Bearer <idToken>", the whole token.
[[nodiscard]] HeaderMap storeHeaders(std::string_view idToken);

// The endpoint's result for the store's answer: a connection failure, a 1xx or 3xx status, or an
// undecodable 2xx body fails with status 500 and a message; a decoded 2xx body is the value with
// the host's default status; any status of 400 and above passes the store's body and status on
// as a success. Headers and status text stay empty.
[[nodiscard]] CallResult mapStoreAnswer(const ExternalResponse& answer);

// The result of a call refused because the widget is disabled (404).
[[nodiscard]] CallResult storeDisabledResult();
// The result of a request that cannot be written as JSON (500).
[[nodiscard]] CallResult storeSerializationFailure();

// Runs one store call: refused while `state` is disabled; otherwise `request` is written as
// compact JSON with its descriptor from `registry` and posted with `post(url, body, parameter,
// headers)`, which returns the ExternalResponse, and the answer is mapped as above. Nothing is
// sent when the widget is disabled or the request cannot be written.
template <typename Request, typename Post>
[[nodiscard]] CallResult callStore(const StoreSnapshot& state, StoreOperation operation,
                                   const Request& request, const BindingRegistry* registry,
                                   Post&& post) {
  if (!state.enabled) return storeDisabledResult();
  const HeaderMap headers = storeHeaders(state.idToken);
  const String url = storeUrl(operation, state.baseUrl, state.locale);
  BindingResult value;
  if (!convertToValue(value, request, registry)) return storeSerializationFailure();
  const String body = writeJson(value.value(), registry);
  const ExternalResponse answer = std::forward<Post>(post)(
      std::string_view(url), std::string_view(body), kStoreRequestParameter, headers);
  return mapStoreAnswer(answer);
}

}  // namespace tev::purchase_widget
