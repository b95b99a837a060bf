#include "platform/shared_library.h"

#include <windows.h>

namespace tev::platform {

void* openSharedLibrary(const char* path) {
  return path != nullptr ? static_cast<void*>(LoadLibraryA(path)) : nullptr;
}

LibraryFunction findLibraryFunction(void* library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<LibraryFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(library), name)));
}

void closeSharedLibrary(void* library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace tev::platform
