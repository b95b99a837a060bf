#include "host/http/start_page.h"

#include <algorithm>
#include <optional>

namespace tev::devhost {
namespace {

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string lowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// A quality value in thousandths ("1", "0.8", "0.125"); nothing for a malformed one.
std::optional<int> parseQuality(std::string_view text) {
  if (text.empty() || (text[0] != '0' && text[0] != '1')) return std::nullopt;
  int value = (text[0] - '0') * 1000;
  if (text.size() == 1) return value;
  if (text[1] != '.' || text.size() > 5) return std::nullopt;
  int scale = 100;
  for (const char c : text.substr(2)) {
    if (c < '0' || c > '9') return std::nullopt;
    value += (c - '0') * scale;
    scale /= 10;
  }
  return value <= 1000 ? std::optional<int>(value) : std::nullopt;
}

struct MediaRange {
  std::string type;
  int quality = 1000;
};

std::vector<MediaRange> parseAccept(std::string_view accept) {
  std::vector<MediaRange> ranges;
  while (!accept.empty()) {
    const auto comma = accept.find(',');
    std::string_view entry = accept.substr(0, comma);
    accept = comma == std::string_view::npos ? std::string_view() : accept.substr(comma + 1);
    MediaRange range;
    const auto semicolon = entry.find(';');
    range.type = lowerCase(trim(entry.substr(0, semicolon)));
    if (range.type.empty()) continue;
    std::string_view params =
        semicolon == std::string_view::npos ? std::string_view() : entry.substr(semicolon + 1);
    bool malformed = false;
    while (!params.empty()) {
      const auto next = params.find(';');
      const std::string_view param = trim(params.substr(0, next));
      params = next == std::string_view::npos ? std::string_view() : params.substr(next + 1);
      if (param.size() >= 2 && (param[0] == 'q' || param[0] == 'Q') && param[1] == '=') {
        const std::optional<int> quality = parseQuality(trim(param.substr(2)));
        malformed = !quality;
        range.quality = quality.value_or(0);
      }
    }
    if (!malformed) ranges.push_back(std::move(range));
  }
  return ranges;
}

}  // namespace

bool prefersHtml(std::string_view accept) {
  int html = 0;
  int jsonExact = -1;
  int jsonWildcard = -1;
  for (const MediaRange& range : parseAccept(accept)) {
    if (range.type == "text/html" || range.type == "application/xhtml+xml") {
      html = std::max(html, range.quality);
    } else if (range.type == "application/json") {
      jsonExact = std::max(jsonExact, range.quality);
    } else if (range.type == "application/*" || range.type == "*/*") {
      jsonWildcard = std::max(jsonWildcard, range.quality);
    }
  }
  if (html == 0) return false;
  if (jsonExact >= 0) return html > jsonExact;
  return html >= jsonWildcard;
}

std::string escapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string startPageHtml(const StartPageInfo& info) {
  const std::string plugin = escapeHtml(info.pluginName.empty() ? "plugin" : info.pluginName);
  std::string html = R"(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<link rel="icon" href="data:,">
<title>)" + plugin + R"( development host</title>
<style>
  body { font: 16px/1.5 system-ui, sans-serif; margin: 0 auto; max-width: 46rem; padding: 1.5rem;
         color: #1d2430; background: #f6f7f9; }
  h1 { font-size: 1.5rem; margin: 0 0 1rem; }
  h2 { font-size: 1.1rem; margin: 1.75rem 0 .5rem; }
  ul { padding-left: 1.25rem; }
  li { margin: .3rem 0; }
  a { color: #0b57d0; }
  a:focus-visible { outline: 3px solid #0b57d0; outline-offset: 2px; }
  code { font: .95em ui-monospace, monospace; overflow-wrap: anywhere; }
  .main a { font-weight: 600; }
</style>
</head>
<body>
<main>
<h1>)" + plugin + R"( on the development host</h1>
<ul class="main">
<li><a href="/widget/">Purchase widget</a>: the store's catalogue, a basket, validation and purchase</li>
<li><a href="/docs/">API docs</a>: the plugin's endpoints, to try out against this host</li>
<li><a href="/devhost/v1/status">Control API</a>: the host's status; see below for the rest</li>
</ul>
<h2>Control API</h2>
<ul>
<li><a href="/devhost/v1/resources"><code>GET /devhost/v1/resources</code></a>: resources, path to value</li>
<li><a href="/devhost/v1/events"><code>GET /devhost/v1/events</code></a>: the latest events and the plugin's handlers</li>
<li><a href="/devhost/v1/api"><code>GET /devhost/v1/api</code></a>: the plugin's API table</li>
<li><a href="/devhost/v1/openapi.json"><code>GET /devhost/v1/openapi.json</code></a>: the same as an OpenAPI document</li>
<li><a href="/devhost/v1/store/catalogue"><code>GET /devhost/v1/store/catalogue</code></a>: the embedded store's items</li>
<li><a href="/devhost/v1/store/wallet"><code>GET /devhost/v1/store/wallet</code></a>: the signed-in player's wallet</li>
<li><a href="/devhost/v1/memory"><code>GET /devhost/v1/memory</code></a>: the plugin's memory statistics</li>
<li><code>GET /devhost/v1/events/stream</code>: every event as it happens (server-sent events)</li>
</ul>
<h2>Endpoints of )" + plugin +
                     R"(</h2>
<ul>
)";
  for (const auto& [method, path] : info.endpoints) {
    const std::string label = "<code>" + escapeHtml(method) + " " + escapeHtml(path) + "</code>";
    const bool literal = path.find('{') == std::string::npos;
    html += method == "GET" && literal
                ? "<li><a href=\"" + escapeHtml(path) + "\">" + label + "</a></li>\n"
                : "<li>" + label + "</li>\n";
  }
  html += "</ul>\n<p>Store: <code>" + escapeHtml(info.storeUrl) +
          "</code>. Clients that do not ask for HTML get this index as JSON.</p>\n"
          "</main>\n</body>\n</html>\n";
  return html;
}

}  // namespace tev::devhost
