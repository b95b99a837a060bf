// devhost: runs a plugin library for real on loopback. See --help, and README.md for the
// control API and the scripts that start it.
#include <cstdio>
#include <string>

#include "host/dev_host.h"
#include "host/host_options.h"
#include "host/os/stop_request.h"

#ifndef TEV_DEVHOST_DEFAULT_PLUGIN
#define TEV_DEVHOST_DEFAULT_PLUGIN "tev-purchase-widget.so"
#endif
#ifndef TEV_DEVHOST_DEFAULT_WEB_ROOT
#define TEV_DEVHOST_DEFAULT_WEB_ROOT "web"
#endif
#ifndef TEV_DEVHOST_DEFAULT_CATALOGUE
#define TEV_DEVHOST_DEFAULT_CATALOGUE "host/data/catalogue.json"
#endif

int main(int argc, char** argv) {
  tev::devhost::HostOptions defaults;
  defaults.pluginPath = TEV_DEVHOST_DEFAULT_PLUGIN;
  defaults.cataloguePath = TEV_DEVHOST_DEFAULT_CATALOGUE;
  defaults.webRoot = TEV_DEVHOST_DEFAULT_WEB_ROOT;
  tev::devhost::HostOptions options;
  std::string error;
  if (!tev::devhost::parseHostOptions(argc, argv, defaults, options, error)) {
    std::fprintf(stderr, "devhost: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(tev::devhost::helpText(defaults).c_str(), stdout);
    return 0;
  }

  // Before any thread starts: the stop request reaches only the wait below, and the shutdown
  // runs on this thread, outside any request. A closed connection must not end the process.
  tev::devhost::catchStopRequests();

  tev::devhost::DevHost host(options);
  if (!host.start(error)) {
    std::fprintf(stderr, "devhost: %s\n", error.c_str());
    std::fflush(stdout);
    return 1;
  }
  const std::string requestedBy = tev::devhost::waitForStopRequest();
  std::printf("devhost: %s received, shutting the plugin down\n", requestedBy.c_str());
  std::fflush(stdout);
  host.stop();
  return 0;
}
