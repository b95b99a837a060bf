// devhost: runs a plugin library for real on loopback. See --help, and README.md for the
// control API and the scripts that start it.
#include <signal.h>

#include <cstdio>
#include <string>

#include "host/dev_host.h"
#include "host/host_options.h"

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

  // Every thread the host starts inherits this mask, so the signals reach only sigwait below
  // and the shutdown runs on this thread, outside any request. A closed connection must not
  // end the process either.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  tev::devhost::DevHost host(options);
  if (!host.start(error)) {
    std::fprintf(stderr, "devhost: %s\n", error.c_str());
    std::fflush(stdout);
    return 1;
  }
  int received = 0;
  sigwait(&stopSignals, &received);
  std::printf("devhost: %s received, shutting the plugin down\n",
              received == SIGINT ? "SIGINT" : "SIGTERM");
  std::fflush(stdout);
  host.stop();
  return 0;
}
