// One plugin library as the host drives it: opened by the system's loader, loaded through its
// exported entry with a descriptor of plugin API 18.0.0, then initialised and shut down through its
// entry table. Owns the library handle and closes it when destroyed (after shutdown()). The
// caller holds the plugin gate around initialize() and shutdown().
#pragma once

#include <cstdint>
#include <string>

#include "host/os/shared_library.h"
#include "platform/host_boundary.h"

namespace tev::devhost {

// The plugin API version this host speaks.
inline constexpr std::uint32_t kHostApiMajor = 18;
inline constexpr std::uint32_t kHostApiMinor = 0;
inline constexpr std::uint32_t kHostApiPatch = 0;

class LoadedPlugin {
 public:
  LoadedPlugin() = default;
  ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  // Opens the library and finds `entryName`. Returns false with `error` (the loader's text)
  // when either is missing.
  [[nodiscard]] bool open(const std::string& path, const std::string& entryName,
                          std::string& error);
  // Calls the entry. Returns false with `error` when the plugin filled no entry table, context
  // or API table (it could not be created or refused this host).
  [[nodiscard]] bool load(std::string& error);
  // Calls Initialize; false when the plugin reports failure.
  [[nodiscard]] bool initialize(const HostConnection& connection);
  // Calls Shutdown once; the plugin's context, name and tables are invalid afterwards.
  void shutdown();

  MemoryStatistics memoryStatistics() const;
  const PluginApiTable* apiTable() const { return descriptor_.apiTable; }
  std::string shortName() const { return shortName_; }
  // The version the plugin wrote back, "major.minor.patch".
  std::string version() const;
  bool initialized() const { return initialized_; }

 private:
  SharedLibrary library_;
  PluginEntryFunction entry_ = nullptr;
  PluginDescriptor descriptor_{};
  PluginEntryTable entries_{};  // copied at load: the plugin's own table ends with it
  std::string shortName_;
  bool initialized_ = false;
  bool shutDown_ = false;
};

}  // namespace tev::devhost
