// Options and errors of the host's listening sockets, which cpp-httplib creates and hands over
// as its native socket handle. Free functions; no state.
#pragma once

#include <cstdint>
#include <string>

namespace tev::devhost {

// Lets a restarted host take its port again at once, but never lets a second one bind a port
// that is in use: that must fail rather than share it. `socket` is cpp-httplib's socket_t.
void makeListenPortExclusive(std::uintptr_t socket);

// Clears the last socket error of this thread, so that socketErrorText reports only what the
// next calls set.
void clearSocketError();
// The last socket error of this thread as text, or empty when there is none.
std::string socketErrorText();

}  // namespace tev::devhost
