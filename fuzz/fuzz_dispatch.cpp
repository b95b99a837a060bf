// Request dispatch: a host request record built from arbitrary bytes, dispatched against a router
// with literal and templated routes of several argument types, both straight through the route
// list and through an endpoint entry of the API table. Every request must come back as a
// well-formed response whose cleanup frees it. Input, by lines:
//   1: method code in decimal, optionally a space and the method text
//   2: target (query included)
//   3: content type (empty: none)
//   then until an empty line: "name: value" headers, or "=name=value" direct arguments (the
//   value as JSON when it parses, else text; an empty name makes the argument unnamed)
//   after the empty line: the body, its bytes to the end of the input (no empty line: no body)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_field_registration.h"
#include "binding/host_value_conversion.h"
#include "router/dispatch.h"
#include "router/native_invoker.h"
#include "router/router.h"
#include "serialization/json_reader.h"

namespace tev::fuzz {

enum class Kind : std::int32_t { kA = 1, kB = 2 };

struct Item {
  String sku;
  std::int32_t quantity = 0;
  Vector<String> tags;
  std::optional<double> price;
};

struct Basket {
  Vector<Item> items;
  String note;
  Kind kind = Kind::kA;
};

}  // namespace tev::fuzz

TEV_BINDING_TYPE(tev::fuzz::Kind);
TEV_BINDING_TYPE(tev::fuzz::Item);
TEV_BINDING_TYPE(tev::fuzz::Basket);

namespace tev::fuzz {
namespace {

EndpointDefinition at(HttpMethod method, const char* path, Vector<ArgumentLocation> locations = {},
                      const char* methodText = "") {
  EndpointDefinition definition;
  definition.method = method;
  definition.methodText = methodText;
  definition.path = path;
  definition.locations = std::move(locations);
  return definition;
}

struct Fixture {
  Router router;
  PluginApiTable table{};
  Vector<Route> routes;

  Fixture() {
    BindingTypeBuilder kind = registerBindingType<Kind>(router, "Kind");
    kind.addEnumerator("A", 1).addEnumerator("B", 2);
    BindingTypeBuilder item = registerBindingType<Item>(router, "Item");
    addBindingField(item, "sku", &Item::sku, kBindingFieldRequired);
    addBindingField(item, "quantity", &Item::quantity);
    addBindingField(item, "tags", &Item::tags, kBindingFieldOmitEmpty);
    addBindingField(item, "price", &Item::price);
    BindingTypeBuilder basket = registerBindingType<Basket>(router, "Basket");
    addBindingField(basket, "items", &Basket::items);
    addBindingField(basket, "note", &Basket::note);
    addBindingField(basket, "kind", &Basket::kind);

    using L = ArgumentLocation;
    addNativeEndpoint(router, at(HttpMethod::kGet, "/ping"), {}, [] { return Item{}; });
    addNativeEndpoint(
        router, at(HttpMethod::kGet, "/items/{id}", {L::kPath, L::kQuery, L::kHeader}),
        {"id", "verbose", "x-token"},
        [](std::int32_t id, std::optional<bool> verbose, std::optional<String> token) {
          Item result;
          result.quantity = id;
          if (verbose.value_or(false) && token) result.sku = *token;
          return result;
        });
    addNativeEndpoint(router, at(HttpMethod::kPost, "/baskets", {L::kBody}), {"basket"},
                      [](Basket basket) { return basket; });
    addNativeEndpoint(
        router, at(HttpMethod::kPost, "/files/{+path}", {L::kPath, L::kBody}),
        {"path", "body", "ids", "kind"},
        [](String path, BindingProperty body, Vector<std::int32_t> ids, std::optional<Kind> kind) {
          BindingResult result;
          result.value().member("path").setString(path);
          result.value().member("body") = std::move(body);
          result.value().member("ids").setUnsigned(ids.size());
          if (kind)
            result.value().member("kind").setEnum(static_cast<std::int32_t>(*kind),
                                                  bindingTypeInfo<Kind>().identifier);
          return result;
        });
    addNativeEndpoint(router, at(HttpMethod::kAny, "/any/{a}/{b}{#frag}"),
                      {"a", "b", "frag", "flag"},
                      [](const CallContext& context, BindingProperty a, Vector<BindingProperty> b,
                         std::optional<String> fragment, bool flag) {
                        BindingResult result;
                        result.value().member("a") = std::move(a);
                        result.value().member("b").setUnsigned(b.size());
                        result.value().member("target").setString(context.target);
                        result.value().member("flag").setBool(flag);
                        if (fragment) result.value().member("frag").setString(*fragment);
                        return result;
                      });
    addNativeEndpoint(router, at(HttpMethod::kOther, "/purge/{name}", {}, "PURGE"), {"name"},
                      [](String) {});
    addNativeEndpoint(
        router, at(HttpMethod::kAny, "/echo/{+rest}"), {"rest", "q", "n"},
        [](BindingProperty rest, std::optional<BindingProperty> q, std::optional<std::uint8_t> n) {
          BindingResult result;
          result.value().member("rest") = std::move(rest);
          if (q) result.value().member("q") = std::move(*q);
          if (n) result.value().member("n").setUnsigned(*n);
          return result;
        });
    router.publishApiHelp("/help/{format}");
    table = router.buildApiTable();
    for (std::uint32_t i = 0; i < table.endpointCount; ++i) {
      const auto* context =
          static_cast<const EndpointContext*>(table.endpoints[i].function.context);
      routes.push_back(context->route);
    }
  }
};

std::string_view nextLine(std::string_view& input, bool& found) {
  const std::size_t end = input.find('\n');
  found = end != std::string_view::npos;
  const std::string_view line = input.substr(0, end);
  input.remove_prefix(found ? end + 1 : input.size());
  return line;
}

// The parts of one request; the request record points into it.
struct ParsedRequest {
  std::uint32_t method = 0;
  std::string methodText;
  std::string target;
  std::optional<std::string> contentType;
  std::vector<std::pair<std::string, std::string>> headers;
  std::vector<std::pair<std::optional<std::string>, BindingProperty>> arguments;
  std::optional<std::string_view> body;
};

ParsedRequest parse(std::string_view input) {
  ParsedRequest request;
  bool found = false;
  const std::string methodLine(nextLine(input, found));
  request.method = static_cast<std::uint32_t>(std::strtoul(methodLine.c_str(), nullptr, 10));
  if (const std::size_t space = methodLine.find(' '); space != std::string::npos) {
    request.methodText = methodLine.substr(space + 1);
  }
  request.target = std::string(nextLine(input, found));
  const std::string_view contentType = nextLine(input, found);
  if (!contentType.empty()) request.contentType = std::string(contentType);
  while (found) {
    const std::string_view line = nextLine(input, found);
    if (line.empty() && found) {
      request.body = input;
      break;
    }
    if (!line.empty() && line.front() == '=') {
      const std::string_view rest = line.substr(1);
      const std::size_t equals = rest.find('=');
      const std::string_view name = rest.substr(0, equals);
      const std::string_view text =
          equals == std::string_view::npos ? std::string_view{} : rest.substr(equals + 1);
      BindingResult value = parseJson(text.data(), text.size());
      if (!value.ok()) value.value().setString(text);
      request.arguments.emplace_back(name.empty() ? std::nullopt : std::optional<std::string>(name),
                                     std::move(value.value()));
    } else {
      const std::size_t colon = line.find(':');
      const std::string_view name = line.substr(0, colon);
      std::string_view value =
          colon == std::string_view::npos ? std::string_view{} : line.substr(colon + 1);
      if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      request.headers.emplace_back(std::string(name), std::string(value));
    }
  }
  return request;
}

void check(bool condition) {
  if (!condition) std::abort();
}

void answer(const HostEndpointRequest& record, std::span<const Route> routes,
            HostEndpointCallback callback) {
  HostEndpointResponse response{};
  if (callback != nullptr) {
    callback(&response, &record);
  } else {
    dispatchRequest(response, record, routes);
  }
  check(response.cleanup == &cleanupResponse);
  check(response.hasError == 0 || response.error != nullptr);
  check(response.statusText != nullptr);
  check(response.format <= 3);
  check(response.bodyProducer == nullptr);
  // The value must be one the host can walk: convert it back.
  HostValue value;
  std::memcpy(&value, &response, sizeof value);
  BindingProperty copy;
  HostResult outcome{};
  check(hostValueToProperty(outcome, copy, value, "<result>"));
  clearHostResult(outcome);
  response.cleanup(&response);
}

}  // namespace
}  // namespace tev::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tev;
  static fuzz::Fixture* fixture = new fuzz::Fixture();  // lives for the whole run
  const fuzz::ParsedRequest parsed =
      fuzz::parse(std::string_view(reinterpret_cast<const char*>(data), size));

  std::vector<HostHeader> headers;
  for (const auto& [name, value] : parsed.headers) headers.push_back({name.c_str(), value.c_str()});
  std::vector<HostLocalParameter> parameters;
  for (const auto& [name, value] : parsed.arguments) {
    HostLocalParameter parameter{};
    parameter.name = name ? name->c_str() : nullptr;
    if (!propertyToHostValue(parameter.value, value, nullptr)) continue;
    parameters.push_back(parameter);
  }
  std::vector<const HostLocalParameter*> pointers;
  for (const HostLocalParameter& parameter : parameters) pointers.push_back(&parameter);

  HostEndpointRequest record{};
  record.method = parsed.method;
  record.target = parsed.target.c_str();
  record.arguments = pointers.data();
  record.argumentCount = static_cast<std::uint32_t>(pointers.size());
  record.headers = headers.data();
  record.headerCount = static_cast<std::uint32_t>(headers.size());
  record.contentType = parsed.contentType ? parsed.contentType->c_str() : nullptr;
  if (parsed.body) {
    // The body is the input's tail: a read past its length leaves the fuzzer's buffer.
    record.body = parsed.body->data();
    record.bodyLength = static_cast<std::uint32_t>(parsed.body->size());
  }
  record.methodText = parsed.methodText.c_str();

  fuzz::answer(record, fixture->routes, nullptr);
  if (fixture->table.endpointCount > 0) {
    const ApiEndpointEntry& entry = fixture->table.endpoints[size % fixture->table.endpointCount];
    record.context = entry.function.context;
    fuzz::answer(record, {}, entry.callback);
  }
  for (HostLocalParameter& parameter : parameters) clearHostValue(parameter.value);
  return 0;
}
