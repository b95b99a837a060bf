// The host's view of a plugin library file: opened once, asked for its entry, closed when the
// host is done with it. A SharedLibrary owns its handle and closes it when destroyed; the
// functions it handed out are invalid afterwards.
#pragma once

#include <string>

#include "platform/host_boundary.h"

namespace tev::devhost {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Opens the library at `path`, resolving all its symbols now. Returns false with `error`
  // ("cannot load PATH: " and the loader's reason) when it cannot.
  [[nodiscard]] bool open(const std::string& path, std::string& error);
  // The exported plugin entry called `name`, or nullptr when the library has none.
  PluginEntryFunction findEntry(const std::string& name) const;
  bool isOpen() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};

}  // namespace tev::devhost
