#include "host/os/shared_library.h"

#include <dlfcn.h>

namespace tev::devhost {

SharedLibrary::~SharedLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool SharedLibrary::open(const std::string& path, std::string& error) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ != nullptr) return true;
  const char* reason = dlerror();
  error = "cannot load " + path + ": " + (reason != nullptr ? reason : "unknown error");
  return false;
}

PluginEntryFunction SharedLibrary::findEntry(const std::string& name) const {
  if (handle_ == nullptr) return nullptr;
  // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
  return reinterpret_cast<PluginEntryFunction>(dlsym(handle_, name.c_str()));
}

}  // namespace tev::devhost
