#include "host/os/stop_request.h"

#include <windows.h>

#include <atomic>

namespace tev::devhost {
namespace {

// Manual-reset: set once by the handler, waited for once by main.
HANDLE stopEvent = nullptr;
std::atomic<DWORD> requestedBy{CTRL_C_EVENT};

// Runs on a thread the system starts for the console event.
BOOL WINAPI onConsoleEvent(DWORD event) {
  requestedBy = event;
  SetEvent(stopEvent);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // Closing the console, logging off or shutting down ends the process once this handler
  // returns: hold it here so that main can shut the plugin down first (the system allows a
  // few seconds).
  Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void catchStopRequests() {
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

std::string waitForStopRequest() {
  WaitForSingleObject(stopEvent, INFINITE);
  switch (requestedBy.load()) {
    case CTRL_C_EVENT:
      return "Ctrl-C";
    case CTRL_BREAK_EVENT:
      return "Ctrl-Break";
    case CTRL_CLOSE_EVENT:
      return "console close";
    default:
      return "system shutdown";
  }
}

}  // namespace tev::devhost
