// devhost_ceiling: the bare cpp-httplib server that scripts/load measures the host against.
// It answers fixed JSON texts on fixed paths with the same server settings as the host, so the
// difference between the two is the host and the plugin. PATH=FILE answers at once; PATH~FILE
// first sends the request on to "/upstream" + PATH of the same server, which answers FILE, and
// answers with what came back: the bare form of an endpoint that calls one service per request,
// as validateItems calls the store.
//   devhost_ceiling PORT THREADS PATH=FILE|PATH~FILE...   (PORT 0 picks a free port)
#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "host/http_server_setup.h"
#include "host/os/stop_request.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: devhost_ceiling PORT THREADS PATH=FILE|PATH~FILE...\n");
    return 2;
  }
  tev::devhost::catchStopRequests();

  httplib::Server server;
  tev::devhost::configureServer(server, std::atoi(argv[2]));
  int port = 0;
  std::string error;
  if (!tev::devhost::bindLoopback(server, std::atoi(argv[1]), port, error)) {
    std::fprintf(stderr, "devhost_ceiling: %s\n", error.c_str());
    return 1;
  }
  for (int i = 3; i < argc; ++i) {
    const std::string route = argv[i];
    const std::size_t split = route.find_first_of("=~");
    if (split == std::string::npos) {
      std::fprintf(stderr, "devhost_ceiling: '%s' is neither PATH=FILE nor PATH~FILE\n", argv[i]);
      return 2;
    }
    std::ifstream file(route.substr(split + 1), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    const std::string body = text.str();
    const std::string path = route.substr(0, split);
    const auto answer = [body](const httplib::Request&, httplib::Response& response) {
      response.set_content(body, "application/json; charset=utf-8");
    };
    if (route[split] == '=') {
      server.Get(path, answer);
      server.Post(path, answer);
      continue;
    }
    const std::string upstream = "/upstream" + path;
    server.Post(upstream, answer);
    const std::string origin = "http://127.0.0.1:" + std::to_string(port);
    server.Post(path,
                [origin, upstream](const httplib::Request& request, httplib::Response& response) {
                  // One kept-alive client per worker thread, set up once as the host sets up its
                  // own.
                  thread_local httplib::Client client = [&origin] {
                    httplib::Client made(origin);
                    made.set_tcp_nodelay(true);
                    made.set_keep_alive(true);
                    return made;
                  }();
                  const httplib::Result result =
                      client.Post(upstream.c_str(), request.body, "application/json");
                  if (!result) {
                    response.status = 502;
                    return;
                  }
                  response.set_content(result->body, "application/json; charset=utf-8");
                });
  }
  std::thread listener;
  tev::devhost::listenInBackground(server, listener);
  std::printf("ceiling at http://127.0.0.1:%d/\n", port);
  std::fflush(stdout);
  tev::devhost::waitForStopRequest();
  server.stop();
  listener.join();
  return 0;
}
