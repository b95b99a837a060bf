#include "platform/shared_library.h"

#include <dlfcn.h>

#include <cstring>

namespace tev::platform {

void* openSharedLibrary(const char* path) {
  // RTLD_LOCAL: the library's symbols stay its own and never stand in for another module's.
  return path != nullptr ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
}

LibraryFunction findLibraryFunction(void* library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  void* symbol = dlsym(library, name);
  LibraryFunction function = nullptr;
  static_assert(sizeof function == sizeof symbol);
  // POSIX guarantees that dlsym's result converts to the function's address.
  std::memcpy(&function, &symbol, sizeof function);
  return function;
}

void closeSharedLibrary(void* library) {
  if (library != nullptr) dlclose(library);
}

}  // namespace tev::platform
