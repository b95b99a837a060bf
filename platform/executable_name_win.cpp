#include "platform/executable_name.h"

#include <windows.h>

#include <cstring>

namespace tev::platform {

std::size_t hostExecutableFileName(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  char path[1024];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return 0;
  const char* slash = std::strrchr(path, '\\');
  const char* name = slash != nullptr ? slash + 1 : path;
  std::size_t nameLength = std::strlen(name);
  if (nameLength >= size) nameLength = size - 1;
  std::memcpy(buffer, name, nameLength);
  buffer[nameLength] = '\0';
  return nameLength;
}

}  // namespace tev::platform
