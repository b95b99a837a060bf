// devhost_ceiling: the bare cpp-httplib server that scripts/load measures the host against.
// It answers fixed JSON texts on fixed paths with the same server settings as the host, so the
// difference between the two is the host and the plugin.
//   devhost_ceiling PORT THREADS PATH=FILE...   (PORT 0 picks a free port)
#include <httplib.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "host/http_server_setup.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: devhost_ceiling PORT THREADS PATH=FILE...\n");
    return 2;
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  httplib::Server server;
  tev::devhost::configureServer(server, std::atoi(argv[2]));
  for (int i = 3; i < argc; ++i) {
    const std::string route = argv[i];
    const std::size_t eq = route.find('=');
    if (eq == std::string::npos) {
      std::fprintf(stderr, "devhost_ceiling: '%s' is not PATH=FILE\n", argv[i]);
      return 2;
    }
    std::ifstream file(route.substr(eq + 1), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    const std::string body = text.str();
    const auto answer = [body](const httplib::Request&, httplib::Response& response) {
      response.set_content(body, "application/json; charset=utf-8");
    };
    server.Get(route.substr(0, eq), answer);
    server.Post(route.substr(0, eq), answer);
  }
  int port = 0;
  std::string error;
  if (!tev::devhost::bindLoopback(server, std::atoi(argv[1]), port, error)) {
    std::fprintf(stderr, "devhost_ceiling: %s\n", error.c_str());
    return 1;
  }
  std::thread listener;
  tev::devhost::listenInBackground(server, listener);
  std::printf("ceiling at http://127.0.0.1:%d/\n", port);
  std::fflush(stdout);
  int received = 0;
  sigwait(&stopSignals, &received);
  server.stop();
  listener.join();
  return 0;
}
