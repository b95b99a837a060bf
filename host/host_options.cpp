#include "host/host_options.h"

#include <charconv>

namespace tev::devhost {
namespace {

[[nodiscard]] bool parseInt(std::string_view text, int low, int high, int& out) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) return false;
  out = value;
  return true;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string entryNameForLibrary(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  std::string entry = "load_";
  for (const char c : name) entry.push_back(c == '-' ? '_' : c);
  return entry;
}

bool parseHostOptions(int argc, const char* const* argv, const HostOptions& defaults,
                      HostOptions& out, std::string& error) {
  out = defaults;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      out.help = true;
      continue;
    }
    if (arg == "-v") {
      if (out.verbosity < 3) ++out.verbosity;
      continue;
    }
    if (arg == "-q" || arg == "--quiet") {
      out.verbosity = 0;
      continue;
    }
    // "--name value" and "--name=value" alike.
    std::string_view name = arg;
    std::string_view value;
    bool hasValue = false;
    if (const std::size_t eq = arg.find('=');
        startsWith(arg, "--") && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    const auto takeValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= argc) {
        error = "option " + std::string(name) + " needs a value";
        return false;
      }
      value = argv[++i];
      hasValue = true;
      return true;
    };
    const auto number = [&](int low, int high, int& target) -> bool {
      if (!takeValue()) return false;
      if (parseInt(value, low, high, target)) return true;
      error = "option " + std::string(name) + " takes a whole number from " + std::to_string(low) +
              " to " + std::to_string(high) + ", not '" + std::string(value) + "'";
      return false;
    };
    const auto text = [&](std::string& target) -> bool {
      if (!takeValue()) return false;
      if (value.empty()) {
        error = "option " + std::string(name) + " needs a non-empty value";
        return false;
      }
      target = std::string(value);
      return true;
    };
    bool ok = true;
    if (name == "--plugin") {
      ok = text(out.pluginPath);
    } else if (name == "--entry") {
      ok = text(out.entryName);
    } else if (name == "--port") {
      ok = number(0, 65535, out.port);
    } else if (name == "--store-url") {
      ok = text(out.storeUrl);
      if (ok && !startsWith(out.storeUrl, "http://") && !startsWith(out.storeUrl, "https://")) {
        error = "option --store-url takes an http:// or https:// URL, not '" + out.storeUrl + "'";
        ok = false;
      }
      if (ok && out.storeUrl.back() != '/') out.storeUrl.push_back('/');
    } else if (name == "--catalogue") {
      ok = text(out.cataloguePath);
    } else if (name == "--resources") {
      ok = text(out.resourcesPath);
    } else if (name == "--web-root") {
      ok = text(out.webRoot);
    } else if (name == "--verbosity") {
      ok = number(0, 3, out.verbosity);
    } else if (name == "--timeout-ms") {
      ok = number(1, 600000, out.timeoutMs);
    } else if (name == "--connect-timeout-ms") {
      ok = number(1, 600000, out.connectTimeoutMs);
    } else if (name == "--threads") {
      ok = number(1, 1024, out.threads);
    } else {
      error = "unknown option '" + std::string(arg) + "' (see --help)";
      ok = false;
    }
    if (!ok) return false;
  }
  return true;
}

std::string helpText(const HostOptions& defaults) {
  std::string text =
      "Usage: devhost [options]\n"
      "\n"
      "Loads a plugin library, initialises it and serves its endpoints over HTTP on\n"
      "127.0.0.1, with an embedded store service unless --store-url is given. Ctrl-C or\n"
      "SIGTERM shuts the plugin down and ends the host.\n"
      "\n"
      "Options:\n"
      "  --plugin PATH          plugin library to load\n"
      "                         (default: " +
      defaults.pluginPath +
      ")\n"
      "  --entry NAME           exported entry to call (default: from the file name,\n"
      "                         tev-purchase-widget.so gives load_tev_purchase_widget)\n"
      "  --port N               local API port on 127.0.0.1, 0 for any free port\n"
      "                         (default: " +
      std::to_string(defaults.port) +
      ")\n"
      "  --store-url URL        store service the plugin calls; without it the host\n"
      "                         starts its embedded store on a free loopback port\n"
      "  --catalogue PATH       the embedded store's catalogue\n"
      "                         (default: " +
      defaults.cataloguePath +
      ")\n"
      "  --resources PATH       JSON object of resource path to value, replacing the\n"
      "                         default resources; \"{{storeUrl}}\" in a text is replaced\n"
      "                         by the store's base URL\n"
      "  --web-root PATH        pages and npm packages served under /docs/, /widget/\n"
      "                         and /vendor/ (default: " +
      defaults.webRoot +
      ")\n"
      "  --verbosity N          0 errors only, 1 normal, 2 one line per request and\n"
      "                         event, 3 with payloads (default: " +
      std::to_string(defaults.verbosity) +
      ")\n"
      "  -v, -q                 one step more verbose; errors only\n"
      "  --timeout-ms N         read and write timeout of external requests\n"
      "                         (default: " +
      std::to_string(defaults.timeoutMs) +
      ")\n"
      "  --connect-timeout-ms N connection timeout of external requests (default: " +
      std::to_string(defaults.connectTimeoutMs) +
      ")\n"
      "  --threads N            HTTP worker threads, local API and store each\n"
      "                         (default: " +
      std::to_string(defaults.threads) +
      ")\n"
      "  -h, --help             this text\n"
      "\n"
      "Control API of the host (JSON):\n"
      "  GET    /devhost/v1/resources             every resource, path to value\n"
      "  GET    /devhost/v1/resources/PATH        one resource\n"
      "  PUT    /devhost/v1/resources/PATH        set it; fires Create or Update\n"
      "  DELETE /devhost/v1/resources/PATH        remove it; fires Delete\n"
      "  POST   /devhost/v1/events/NAME           deliver an event with the body as payload\n"
      "  GET    /devhost/v1/events                events fired and delivered lately\n"
      "  GET    /devhost/v1/api                   the plugin's endpoints, types and events\n"
      "  GET    /devhost/v1/openapi.json          the same as an OpenAPI 3.1 document\n"
      "  GET    /devhost/v1/status                plugin, store, counters, memory\n"
      "  GET    /devhost/v1/memory                the plugin's memory statistics\n"
      "  GET|PUT|DELETE /devhost/v1/store/fault   the embedded store's injected fault\n"
      "  GET    /devhost/v1/store/catalogue       the embedded store's items, in the locale\n"
      "  GET    /devhost/v1/store/wallet          the wallet of the session's player\n"
      "  GET    /devhost/v1/events/stream         every event as server-sent events\n";
  return text;
}

}  // namespace tev::devhost
