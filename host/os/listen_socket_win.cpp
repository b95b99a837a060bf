#include "host/os/listen_socket.h"

// Winsock before the rest of the Windows headers, which would otherwise pull in its old version.
#include <winsock2.h>

#include <windows.h>

namespace tev::devhost {

void makeListenPortExclusive(std::uintptr_t socket) {
  // On Windows SO_REUSEADDR (cpp-httplib's default) lets another socket bind a port in use;
  // SO_EXCLUSIVEADDRUSE refuses that, and a closed listener's port is free again at once.
  BOOL yes = TRUE;
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
             reinterpret_cast<const char*>(&yes), sizeof yes);
}

void clearSocketError() { WSASetLastError(0); }

std::string socketErrorText() {
  const int code = WSAGetLastError();
  if (code == 0) return std::string();
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message.empty() ? "socket error " + std::to_string(code) : message;
}

}  // namespace tev::devhost
