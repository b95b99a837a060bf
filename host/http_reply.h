// An HTTP answer of the host's own (control API, resources, errors) before it is written to
// the connection. Plain value; plugin answers use EndpointReply instead.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/host_value_json.h"

namespace tev::devhost {

inline constexpr char kJsonContentType[] = "application/json; charset=utf-8";

struct HttpReply {
  int status = 200;
  std::string body;
  std::string contentType = kJsonContentType;
  std::vector<std::pair<std::string, std::string>> headers;

  static HttpReply json(int status, const nlohmann::json& value) {
    return HttpReply{status, dumpJson(value), kJsonContentType, {}};
  }
  // {"error": text}
  static HttpReply error(int status, const std::string& text) {
    return json(status, nlohmann::json{{"error", text}});
  }
};

}  // namespace tev::devhost
