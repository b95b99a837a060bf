// The host's resources: JSON values by path, as other plugins of a real client would publish
// them (login session, locale, platform configuration). Thread-safe; values are copied in and
// out. Changing a resource does not notify anyone by itself: the caller fires the event.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tev::devhost {

enum class ResourceChange { kCreate = 0, kUpdate = 1, kDelete = 2 };

// "Create", "Update" or "Delete".
const char* resourceChangeName(ResourceChange change);

class ResourceStore {
 public:
  // A resource path as the store keys it: a leading "/", no query, no trailing "/" (except "/").
  static std::string normalize(std::string_view path);

  // Sets the resource; kCreate when it did not exist, else kUpdate.
  ResourceChange put(std::string_view path, nlohmann::json value);
  // Removes the resource; false when there was none.
  bool remove(std::string_view path);
  // The resource's value, if it exists.
  std::optional<nlohmann::json> get(std::string_view path) const;
  // Every resource as one JSON object, path to value.
  nlohmann::json list() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, nlohmann::json, std::less<>> values_;
};

}  // namespace tev::devhost
