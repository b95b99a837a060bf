#include "host/os/shared_library.h"

#include <windows.h>

namespace tev::devhost {
namespace {

// The system's message for `code`, without the line break it ends with.
std::string systemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "error " + std::to_string(code);
  return message;
}

}  // namespace

SharedLibrary::~SharedLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool SharedLibrary::open(const std::string& path, std::string& error) {
  // No error boxes for a missing or broken file: the reason goes into `error` instead.
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  handle_ = LoadLibraryA(path.c_str());
  const DWORD code = GetLastError();
  SetErrorMode(previousMode);
  if (handle_ != nullptr) return true;
  error = "cannot load " + path + ": " + systemMessage(code);
  return false;
}

PluginEntryFunction SharedLibrary::findEntry(const std::string& name) const {
  if (handle_ == nullptr) return nullptr;
  const FARPROC symbol = GetProcAddress(static_cast<HMODULE>(handle_), name.c_str());
  // Through the generic function pointer type, which converts to any other without a warning.
  return reinterpret_cast<PluginEntryFunction>(reinterpret_cast<void (*)()>(symbol));
}

}  // namespace tev::devhost
