#include "host/os/listen_socket.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace tev::devhost {

void makeListenPortExclusive(std::uintptr_t socket) {
  // SO_REUSEADDR only: cpp-httplib's default also sets SO_REUSEPORT, with which a second host
  // on a taken port would start and silently share it.
  int yes = 1;
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

void clearSocketError() { errno = 0; }

std::string socketErrorText() { return errno != 0 ? std::strerror(errno) : std::string(); }

}  // namespace tev::devhost
