// The development host's command line: what it loads, where it listens, which store it points
// the plugin at, and how much it prints. Plain values, parsed once in main and then read only.
// Not for the ceiling server of the load script, which takes its own two arguments.
#pragma once

#include <string>
#include <string_view>

namespace tev::devhost {

struct HostOptions {
  std::string pluginPath;     // the plugin library
  std::string entryName;      // its exported entry; empty: derived from the file name
  int port = 8400;            // local API port on 127.0.0.1; 0 picks a free one
  std::string storeUrl;       // empty: start the embedded store
  std::string cataloguePath;  // the embedded store's catalogue
  std::string resourcesPath;  // JSON object, resource path to value; empty: the defaults
  std::string webRoot;        // the pages and npm packages served under /docs/, /widget/, /vendor/
  int verbosity = 1;          // 0 errors only, 1 normal, 2 every request, 3 payloads too
  int timeoutMs = 10000;      // read and write timeout of external requests
  int connectTimeoutMs = 3000;
  int threads = 32;  // HTTP worker threads of the local API and of the embedded store
  bool help = false;
};

// Reads argv[1..] over `defaults` into `out`. Returns false with a one-line `error` for an
// unknown option, a missing or malformed value, or a value out of range. A store URL without a
// trailing "/" gets one, since the plugin appends its paths to it as they stand.
[[nodiscard]] bool parseHostOptions(int argc, const char* const* argv, const HostOptions& defaults,
                                    HostOptions& out, std::string& error);

// The --help text, with the defaults filled in.
std::string helpText(const HostOptions& defaults);

// The entry a plugin library exports, from its file name: "load_" followed by the name without
// directory and extension, with "-" written as "_" ("tev-purchase-widget.so" gives
// "load_tev_purchase_widget").
std::string entryNameForLibrary(std::string_view path);

}  // namespace tev::devhost
