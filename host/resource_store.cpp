#include "host/resource_store.h"

#include <utility>

namespace tev::devhost {

const char* resourceChangeName(ResourceChange change) {
  switch (change) {
    case ResourceChange::kCreate:
      return "Create";
    case ResourceChange::kUpdate:
      return "Update";
    case ResourceChange::kDelete:
      return "Delete";
  }
  return "Update";
}

std::string ResourceStore::normalize(std::string_view path) {
  path = path.substr(0, path.find('?'));
  std::string out;
  if (path.empty() || path.front() != '/') out.push_back('/');
  out.append(path);
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

ResourceChange ResourceStore::put(std::string_view path, nlohmann::json value) {
  const std::lock_guard<std::mutex> lock(mutex_);
  auto [it, inserted] = values_.try_emplace(normalize(path));
  it->second = std::move(value);
  return inserted ? ResourceChange::kCreate : ResourceChange::kUpdate;
}

bool ResourceStore::remove(std::string_view path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = values_.find(normalize(path));
  if (it == values_.end()) return false;
  values_.erase(it);
  return true;
}

std::optional<nlohmann::json> ResourceStore::get(std::string_view path) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = values_.find(normalize(path));
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

nlohmann::json ResourceStore::list() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  nlohmann::json out = nlohmann::json::object();
  for (const auto& [path, value] : values_) out[path] = value;
  return out;
}

}  // namespace tev::devhost
