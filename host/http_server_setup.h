// The settings every HTTP server of the host shares (local API, embedded store, and the bare
// server the load script measures against): TCP_NODELAY, long keep-alive, a worker pool sized
// for many kept-alive connections, and loopback-only binding without port sharing. Apply before
// listening; not for clients (ExternalClient sets its own).
#pragma once

#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace tev::devhost {

// Requests served on one kept-alive connection before the server closes it.
inline constexpr int kKeepAliveRequests = 1000000;

void configureServer(httplib::Server& server, int threads);

// Binds 127.0.0.1 at `port` (0: a free port) and sets `boundPort`. Returns false with `error`
// when the port is taken or cannot be bound.
[[nodiscard]] bool bindLoopback(httplib::Server& server, int port, int& boundPort,
                                std::string& error);

// Starts listening on the bound server in `thread` and returns once it accepts connections (so
// that a stop() right after cannot come before the listening starts, and be lost).
void listenInBackground(httplib::Server& server, std::thread& thread);

}  // namespace tev::devhost
