#include "platform/debugger_output.h"

#include <windows.h>

namespace tev::platform {

void writeDebuggerOutput(const char* text) {
  if (text == nullptr) return;
  OutputDebugStringA(text);
}

}  // namespace tev::platform
