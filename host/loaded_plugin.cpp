#include "host/loaded_plugin.h"

namespace tev::devhost {

// The library closes after the rest: shutdown() has ended the plugin's use of it.
LoadedPlugin::~LoadedPlugin() = default;

bool LoadedPlugin::open(const std::string& path, const std::string& entryName, std::string& error) {
  if (!library_.open(path, error)) return false;
  entry_ = library_.findEntry(entryName);
  if (entry_ == nullptr) {
    error = path + " exports no " + entryName + " (use --entry)";
    return false;
  }
  return true;
}

bool LoadedPlugin::load(std::string& error) {
  descriptor_ = PluginDescriptor{};
  descriptor_.major = kHostApiMajor;
  descriptor_.minor = kHostApiMinor;
  descriptor_.patch = kHostApiPatch;
  entry_(&descriptor_);
  if (descriptor_.entryTable == nullptr || descriptor_.context == nullptr ||
      descriptor_.apiTable == nullptr) {
    error =
        "the plugin did not load (its descriptor came back without entry table, context "
        "or API table)";
    return false;
  }
  entries_ = *descriptor_.entryTable;
  if (entries_.initialize == nullptr || entries_.shutdown == nullptr ||
      entries_.getMemoryStatistics == nullptr) {
    error = "the plugin's entry table lacks a function";
    return false;
  }
  shortName_ = descriptor_.shortName != nullptr ? descriptor_.shortName : "";
  return true;
}

bool LoadedPlugin::initialize(const HostConnection& connection) {
  initialized_ = entries_.initialize(descriptor_.context, &connection) != 0;
  return initialized_;
}

void LoadedPlugin::shutdown() {
  if (shutDown_ || entries_.shutdown == nullptr) return;
  shutDown_ = true;
  entries_.shutdown(descriptor_.context);
  descriptor_.context = nullptr;
  descriptor_.apiTable = nullptr;
}

MemoryStatistics LoadedPlugin::memoryStatistics() const {
  MemoryStatistics out{};
  if (entries_.getMemoryStatistics != nullptr)
    entries_.getMemoryStatistics(descriptor_.context, &out);
  return out;
}

std::string LoadedPlugin::version() const {
  return std::to_string(descriptor_.major) + "." + std::to_string(descriptor_.minor) + "." +
         std::to_string(descriptor_.patch);
}

}  // namespace tev::devhost
