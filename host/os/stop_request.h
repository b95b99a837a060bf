// How the host learns that it should stop: Ctrl-C, or a termination request from the system,
// taken by one waiting thread instead of ending the process, so the plugin is shut down in
// order and outside any request. One per process, used by main.
#pragma once

#include <string>

namespace tev::devhost {

// Takes over Ctrl-C and termination requests so that waitForStopRequest receives them, and
// keeps a connection that the peer closed from ending the process. Call once, before the
// process starts any thread.
void catchStopRequests();

// Blocks until a stop is requested and returns what asked for it ("SIGINT", "SIGTERM",
// "Ctrl-C", ...), for the log.
std::string waitForStopRequest();

}  // namespace tev::devhost
