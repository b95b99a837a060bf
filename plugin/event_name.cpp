#include "plugin/event_name.h"

#include <algorithm>
#include <cstddef>

namespace tev {
namespace {

constexpr std::string_view kJsonApiEvent = "OnJsonApiEvent";
constexpr std::string_view kPlatformConfig = "tev-platform-config";

}  // namespace

String EventNameForResource(std::string_view path) {
  String name(kJsonApiEvent);
  std::size_t entries = 1;
  std::size_t limit = 4;
  std::size_t position = 0;
  while (position < path.size()) {
    const std::size_t end = std::min(path.find('/', position), path.size());
    const std::string_view segment = path.substr(position, end - position);
    position = end + 1;
    if (segment.empty()) continue;
    // Platform configuration namespaces sit two levels deeper than other resources, and each
    // namespace needs an event of its own.
    if (entries == 1 && segment == kPlatformConfig) limit = 6;
    if (entries == limit) break;
    name += '_';
    name += segment;
    ++entries;
  }
  return name;
}

}  // namespace tev
