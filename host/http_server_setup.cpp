#include "host/http_server_setup.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "host/os/listen_socket.h"

namespace tev::devhost {

void configureServer(httplib::Server& server, int threads) {
  // Without TCP_NODELAY a small answer waits for the client's delayed ACK: tens of ms each.
  server.set_tcp_nodelay(true);
  server.set_keep_alive_max_count(kKeepAliveRequests);
  server.set_keep_alive_timeout(5);
  // A kept-alive connection holds a worker for its life, so the pool must be larger than the
  // number of connections a client opens at once.
  server.new_task_queue = [threads] {
    return new httplib::ThreadPool(static_cast<size_t>(threads));
  };
  server.set_socket_options(
      [](socket_t socket) { makeListenPortExclusive(static_cast<std::uintptr_t>(socket)); });
}

bool bindLoopback(httplib::Server& server, int port, int& boundPort, std::string& error) {
  clearSocketError();
  if (port == 0) {
    boundPort = server.bind_to_any_port("127.0.0.1");
    if (boundPort > 0) return true;
  } else if (server.bind_to_port("127.0.0.1", port)) {
    boundPort = port;
    return true;
  }
  const std::string reason = socketErrorText();
  error = "cannot listen on 127.0.0.1:" + std::to_string(port) +
          (reason.empty() ? std::string() : ": " + reason);
  return false;
}

void listenInBackground(httplib::Server& server, std::thread& thread) {
  auto ended = std::make_shared<std::atomic<bool>>(false);
  thread = std::thread([&server, ended] {
    server.listen_after_bind();
    *ended = true;
  });
  while (!server.is_running() && !*ended) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace tev::devhost
