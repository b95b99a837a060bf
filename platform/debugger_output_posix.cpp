#include "platform/debugger_output.h"

#include <syslog.h>

namespace tev::platform {

void writeDebuggerOutput(const char* text) {
  if (text == nullptr) return;
  syslog(LOG_USER | LOG_DEBUG, "%s", text);
}

}  // namespace tev::platform
