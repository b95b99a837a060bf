// The plugin's endpoints as the host routes HTTP requests to them: one route per endpoint entry
// of the API table, matched by method and path template. Built once after the plugin loaded;
// points into the plugin's API table, so it must not outlive the plugin's Shutdown.
#pragma once

#include <cstdint>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host_boundary.h"

namespace tev::devhost {

// Method codes shared with the plugin.
enum : std::uint32_t {
  kMethodAny = 0,
  kMethodDelete = 1,
  kMethodGet = 2,
  kMethodHead = 3,
  kMethodOptions = 4,
  kMethodPatch = 5,
  kMethodPost = 6,
  kMethodPut = 7,
  kMethodOther = 8
};

// The code of an HTTP method text; kMethodOther for any other text.
std::uint32_t methodCode(std::string_view method);
// The text of codes 1 to 7, else "".
const char* methodText(std::uint32_t code);

struct EndpointRoute {
  const ApiEndpointEntry* entry = nullptr;
  std::string name;          // the function's name
  std::string pathTemplate;  // as the plugin gave it; empty: the name serves as template
  std::string httpPath;      // what HTTP requests use: the template, or "/" + name
  std::uint32_t method = kMethodAny;
  std::string methodText;  // for kMethodOther
  bool literal = true;
  std::regex pattern;  // for templates with placeholders

  // The target the plugin's router expects for an HTTP path and query: the path as it came,
  // except that an endpoint without template is reached without the leading "/".
  std::string targetFor(std::string_view pathAndQuery) const;
};

class EndpointTable {
 public:
  EndpointTable() = default;
  explicit EndpointTable(const PluginApiTable* table);

  struct Match {
    const EndpointRoute* route = nullptr;  // set when path and method match
    bool pathMatched = false;              // some endpoint has this path
    std::string allowed;                   // methods of the endpoints with this path, for 405
  };

  // The endpoint for `method` on `path` (no query): a literal route before a template route,
  // otherwise the first in table order.
  Match find(std::uint32_t method, std::string_view methodText, std::string_view path) const;
  const std::vector<EndpointRoute>& routes() const { return routes_; }

 private:
  std::vector<EndpointRoute> routes_;
};

}  // namespace tev::devhost
