#include "platform/executable_name.h"

#include <cstring>

#if defined(__linux__)
#include <sys/auxv.h>
#endif

namespace tev::platform {

std::size_t hostExecutableFileName(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  const char* path = nullptr;
#if defined(__linux__)
  // The path the program was started with, from the process's auxiliary vector: no file is read.
  path = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
#endif
  if (path == nullptr) return 0;
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  std::size_t length = std::strlen(name);
  if (length >= size) length = size - 1;
  std::memcpy(buffer, name, length);
  buffer[length] = '\0';
  return length;
}

}  // namespace tev::platform
