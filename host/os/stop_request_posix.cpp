#include "host/os/stop_request.h"

#include <pthread.h>
#include <signal.h>

namespace tev::devhost {
namespace {

sigset_t stopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

void catchStopRequests() {
  // Every thread started later inherits this mask, so the signals reach only sigwait.
  const sigset_t signals = stopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

std::string waitForStopRequest() {
  const sigset_t signals = stopSignals();
  int received = 0;
  while (sigwait(&signals, &received) != 0) {
  }
  return received == SIGINT ? "SIGINT" : "SIGTERM";
}

}  // namespace tev::devhost
