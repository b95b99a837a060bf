// The page a browser gets at "/": links to the purchase widget, the API docs and the control
// API, and the loaded plugin's endpoints. Other clients keep the JSON index at "/", so the
// choice is made from the request's Accept header. Pure functions.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tev::devhost {

inline constexpr char kHtmlContentType[] = "text/html; charset=utf-8";

struct StartPageInfo {
  std::string pluginName;
  // Method and path of each of the plugin's endpoints.
  std::vector<std::pair<std::string, std::string>> endpoints;
  std::string storeUrl;
};

// Whether an Accept header asks for HTML rather than JSON: text/html (or XHTML) with a non-zero
// quality that is higher than JSON's, or as high as JSON's when JSON is matched only by a
// wildcard. "*/*", an empty header and "application/json" give false; a browser's header true.
bool prefersHtml(std::string_view accept);

// `text` with &, <, >, " and ' written as character references.
std::string escapeHtml(std::string_view text);

// The complete HTML document.
std::string startPageHtml(const StartPageInfo& info);

}  // namespace tev::devhost
